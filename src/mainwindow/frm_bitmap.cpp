#include "mainwindow/frm_bitmap.h"

namespace mainwindow {

frmBitmap::frmBitmap() : Form("frmBitmap") {}

runtime::OptionButton& frmBitmap::optCapture(int index) {
  switch (index) {
    case 1: return optCapture1;
    case 2: return optCapture2;
    case 3: return optCapture3;
    default: return optCapture0;
  }
}

void frmBitmap::Design() {
  SetCaption("Glimmet");
  SetClientSize(6630, 6240);
  txtHwnd.Move(6960, 1320, 1215, 285);
  txtHwndMe.Move(6960, 960, 1215, 285);
  txtHwndChild.Move(6960, 480, 4215, 285);
  txtHwndChild.SetText("txtHwndChild");
  txtHwndParent.Move(6960, 120, 4215, 285);
  txtHwndParent.SetText("txtHwndParent");
  Timer2.SetInterval(200);
  Timer2.SetTimerEnabled(false);
  Timer1.SetInterval(10);
  Timer1.SetTimerEnabled(true);
  picS.Move(0, 0, 495, 495);
  Image1.Move(3600, 5880, 615, 255);
  Image1.SetVisible(false);
}

void frmBitmap::Form_Load() {
  if (OnLoad) OnLoad(*this);
}

void frmBitmap::Form_Unload(int& cancel) {
  if (OnUnload) OnUnload(*this);
}

void frmBitmap::cmdSave_Click() {}
void frmBitmap::cmdPrint_Click() {}
void frmBitmap::cmdClear_Click() {}
void frmBitmap::cmdCopy_Click() {}
void frmBitmap::chkOnTop_Click() {}
void frmBitmap::Toolbar1_ButtonClick(const std::string&) {}
void frmBitmap::LayoutPicture() {}
std::string frmBitmap::SizeLabel(double, double) { return {}; }

frmBitmap& MainForm() {
  static frmBitmap form;
  return form;
}

}  // namespace mainwindow
