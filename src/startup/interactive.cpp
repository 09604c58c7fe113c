#include "startup/interactive.h"

#include <string>

#include "runtime/events.h"
#include "runtime/gui.h"

namespace startup {

void InteractiveStart(mainwindow::frmBitmap& form) {
  runtime::DoEvents();
  runtime::Sleep(2000);
  form.cmdStart.SetFocus();
  form.txtHwndMe.SetText(std::to_string(form.hWnd()));
}

}  // namespace startup
