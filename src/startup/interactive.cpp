#include "startup/interactive.h"

#include <string>

#include "infowindows/frm_splash.h"
#include "runtime/events.h"
#include "runtime/gui.h"

namespace startup {

void InteractiveStart(mainwindow::frmBitmap& form) {
  infowindows::frmSplash& splash = infowindows::frmSplashForm();
  splash.Show();
  splash.ZOrder();
  runtime::DoEvents();  // let the splash paint
  // Blocks with the splash on screen; its own timer closes it once the
  // loop runs again.
  runtime::Sleep(2000);
  // The main window gets its native window now, so that its handle exists
  // before it is first shown.
  if (runtime::GuiBackend* gui = runtime::Gui()) gui->Realize(form);
  form.cmdStart.SetFocus();
  form.txtHwndMe.SetText(std::to_string(form.hWnd()));
}

}  // namespace startup
