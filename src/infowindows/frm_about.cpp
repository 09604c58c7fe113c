#include "infowindows/frm_about.h"

#include "infowindows/artwork.h"
#include "runtime/gdi.h"

namespace infowindows {

// Broken into lines that fit the window; the label reaches past its edges.
const char* const frmAbout::kAboutText =
    "A Tessakit product for Veltrix test scripts.\r\n"
    "Glimmet captures the screen, a window or a control,\r\n"
    "and saves, prints or copies the picture.";

frmAbout::frmAbout() : Form("frmAbout") { cmdOK.Click = [this] { cmdOK_Click(); }; }

void frmAbout::Design() {
  SetCaption("About...");
  SetClientSize(4995, 3495);
  BorderStyle = runtime::FormBorder::FixedDialog;
  ShowInTaskbar = false;
  StartUpPosition = 1;

  lblTitle.SetCaption("Glimmet");
  lblTitle.SetFont({"MS Sans Serif", 12, true});
  lblTitle.Move(930, 240, 3885, 360);
  Label1.SetCaption("for Veltrix");
  Label1.SetFont({"MS Sans Serif", 9.75, false});
  Label1.Move(960, 600, 2895, 255);
  lblVersion.SetCaption("Version  1.0.2");
  lblVersion.Move(960, 1200, 3885, 225);
  Label2.SetCaption("");
  Label2.Alignment = runtime::Label::kCenter;
  Label2.Move(0, 1800, 5055, 915);
  cmdOK.SetCaption("OK");
  cmdOK.Move(1920, 3000, 1140, 345);
  // The picture would size the control to 480 x 480; the design box is 540.
  Image1.SetPicture(ProductIcon());
  Image1.Move(120, 240, 540, 540);

  constexpr double kHeights[2] = {1680, 2760};
  for (int i = 0; i < 2; ++i) {
    runtime::Line& white = Line1[2 * i];
    runtime::Line& grey = Line1[2 * i + 1];
    white.X1 = grey.X1 = 120;
    white.X2 = grey.X2 = 4800;
    white.Y1 = white.Y2 = grey.Y1 = grey.Y2 = kHeights[i];
    white.BorderColor = runtime::vbWhite;
    white.BorderWidth = 2;
    grey.BorderColor = 0x808080;
    grey.BorderWidth = 1;
  }
}

void frmAbout::Form_Load() {
  topmost_.Call(*this, [this] { Restack(SetWindowPos, *this, runtime::HWND_TOPMOST); });
  Label2.SetCaption(kAboutText);
}

void frmAbout::Form_Activate() { topmost_.Activated(); }

void frmAbout::cmdOK_Click() { Unload(); }

frmAbout& frmAboutForm() {
  static frmAbout form;
  return form;
}

}  // namespace infowindows
