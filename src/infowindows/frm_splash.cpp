#include "infowindows/frm_splash.h"

#include <string>

#include "infowindows/artwork.h"
#include "runtime/screen.h"
#include "runtime/gdi.h"

namespace infowindows {

frmSplash::frmSplash() : Form("frmSplash") { Timer1.Tick = [this] { Timer1_Timer(); }; }

void frmSplash::Design() {
  SetCaption("");
  SetClientSize(8790, 4695);
  BorderStyle = runtime::FormBorder::None;
  ShowInTaskbar = false;
  ControlBox = false;
  StartUpPosition = 2;
  BackPicture = SplashBanner();

  // The labels lie on the banner's dark blue, so they are see-through and light.
  for (runtime::Label* label : {&lblTitle, &Label1, &lblVersion, &Label2}) {
    label->Transparent = true;
    label->SetForeColor(runtime::vbWhite);
  }
  lblTitle.SetCaption("Glimmet");
  lblTitle.SetFont({"MS Sans Serif", 24, true});
  lblTitle.Move(5040, 1200, 3285, 720);
  Label1.SetCaption("for Veltrix");
  Label1.SetFont({"MS Sans Serif", 9.75, false});
  Label1.Move(5040, 1920, 2895, 255);
  lblVersion.SetCaption("Version  1.0.2");
  lblVersion.Move(5040, 2760, 1125, 225);
  Label2.SetCaption(std::string(23, ' ') + "A Tessakit product");
  Label2.Move(4800, 4080, 3615, 255);
  Timer1.SetInterval(2000);
  Timer1.SetTimerEnabled(true);
}

void frmSplash::Form_Load() {
  place_.Call(*this, [this] { Place(); });
}

void frmSplash::Form_Activate() { place_.Activated(); }

void frmSplash::Place() {
  const double tx = runtime::Screen().TwipsPerPixelX(), ty = runtime::Screen().TwipsPerPixelY();
  SetWindowPos(hWnd(), runtime::HWND_TOP, ToPixels(Left(), tx), ToPixels(Top(), ty), ToPixels(Width(), tx),
               ToPixels(Height(), ty), runtime::SWP_SHOWWINDOW | runtime::SWP_NOACTIVATE);
}

void frmSplash::Timer1_Timer() { Unload(); }

frmSplash& frmSplashForm() {
  static frmSplash form;
  return form;
}

}  // namespace infowindows
