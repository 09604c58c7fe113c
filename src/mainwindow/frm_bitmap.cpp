#include "mainwindow/frm_bitmap.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

#include "infowindows/artwork.h"
#include "infowindows/frm_about.h"
#include "infowindows/frm_help.h"
#include "mainwindow/toolbar_art.h"
#include "output/picture_commands.h"
#include "runtime/gdi.h"

namespace mainwindow {
namespace {

// Design values must not run the handlers a user's change would run.
template <class C, class V>
void SetQuietly(C& control, V value) {
  auto click = std::exchange(control.Click, nullptr);
  auto change = std::exchange(control.Change, nullptr);
  control.SetValue(value);
  control.Click = std::move(click);
  control.Change = std::move(change);
}

void SetMenu(runtime::Menu& menu, const char* caption) {
  menu.SetCaption(caption);
  menu.Shortcut.clear();
  menu.Checked = false;
}

// A number with a leading blank, or its minus sign, and its fraction if any.
std::string SignedNumber(double value) {
  char digits[32];
  const double magnitude = std::fabs(value);
  const auto end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
  std::string text(1, value < 0 ? '-' : ' ');
  return text.append(digits, end);
}

}  // namespace

frmBitmap::frmBitmap() : Form("frmBitmap") {
  chkOnTop.Click = [this] { chkOnTop_Click(); };
  cmdSave.Click = mnuSave.Click = [this] { cmdSave_Click(); };
  cmdPrint.Click = mnuPrint.Click = [this] { cmdPrint_Click(); };
  cmdClear.Click = mnuClear.Click = [this] { cmdClear_Click(); };
  cmdCopy.Click = mnuCopy.Click = [this] { cmdCopy_Click(); };
  mnuExit.Click = [this] { mnuExit_Click(); };
  mnuHelp.Click = [this] { mnuHelp_Click(); };
  mnuAbout.Click = [this] { mnuAbout_Click(); };
  Toolbar1.ButtonClick = [this](const runtime::ToolbarButton& button) { Toolbar1_ButtonClick(button.Key); };
  HScroll.Change = HScroll.Scroll = [this] { HScroll_Change(); };
  VScroll.Change = VScroll.Scroll = [this] { VScroll_Change(); };
  WireCaptureWorkflow();
}

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
  BorderStyle = runtime::FormBorder::FixedSingle;
  Icon = infowindows::ProductIcon();

  chkOnTop.SetCaption("&On top");
  chkOnTop.Move(5520, 4920, 855, 495);
  SetQuietly(chkOnTop, 0);

  Frame2.SetCaption("");
  Frame2.Move(120, 3720, 855, 1335);
  opt10sec.SetCaption("10 sec");
  opt10sec.Move(0, 840, 820, 375);
  opt5sec.SetCaption("5 sec");
  opt5sec.Move(0, 480, 735, 375);
  opt1sec.SetCaption("1 sec");
  opt1sec.Move(0, 120, 735, 375);
  for (runtime::OptionButton* delay : {&opt10sec, &opt5sec, &opt1sec}) delay->SetEnabled(false);
  SetQuietly(opt1sec, true);

  Frame1.SetCaption("");
  Frame1.Move(120, 2040, 855, 1575);
  optCapture1.SetCaption("Form");
  optCapture1.Move(0, 480, 735, 375);
  optCapture2.SetCaption("Object");
  optCapture2.Move(0, 840, 855, 375);
  optCapture0.SetCaption("Screen");
  optCapture0.Move(0, 120, 855, 375);
  optCapture3.SetCaption("Area");
  optCapture3.Move(0, 1200, 855, 375);
  for (int i = 0; i < 4; ++i) optCapture(i).SetEnabled(true);
  SetQuietly(optCapture0, true);

  // The picture view: a sunken frame, a borderless viewport clipping the
  // picture, and the picture box that keeps what is drawn into it.
  constexpr runtime::OLE_COLOR kViewBack = 0x808080;
  kadO.Move(1080, 600, 5325, 4245);
  kadO.BorderStyle = 1;
  kadO.SetBackColor(kViewBack);
  HScroll.Move(0, 4200, 2505, 255);
  VScroll.Move(5280, 0, 285, 1935);
  for (runtime::ScrollBar* bar : {&HScroll, &VScroll}) {
    bar->SetMin(0);
    bar->SetMax(32767);
    SetQuietly(*bar, std::int16_t{0});
    bar->SetSmallChange(1);
    bar->SetLargeChange(1);
    bar->SetVisible(true);
  }
  hRange_ = vRange_ = {};
  kadI.Move(30, 30, 1485, 1695);
  kadI.BorderStyle = 0;
  kadI.SetBackColor(kViewBack);
  picS.Move(0, 0, 495, 495);
  picS.BorderStyle = 0;
  picS.AutoRedraw = true;
  picS.SetPicture({});

  txtHwnd.Move(6960, 1320, 1215, 285);
  txtHwnd.SetText("");
  cmdCopy.SetCaption("&Copy");
  cmdCopy.Move(5160, 5640, 1215, 495);
  txtHwndMe.Move(6960, 960, 1215, 285);
  txtHwndMe.SetText("");
  txtHwndChild.Move(6960, 480, 4215, 285);
  txtHwndChild.SetText("txtHwndChild");
  txtHwndParent.Move(6960, 120, 4215, 285);
  txtHwndParent.SetText("txtHwndParent");
  Timer2.SetInterval(200);
  Timer2.SetTimerEnabled(false);
  Timer1.SetInterval(10);
  Timer1.SetTimerEnabled(true);
  cmdStart.SetCaption("Start");
  cmdStart.Move(3000, 4920, 975, 375);
  cmdSave.SetCaption("&Save");
  cmdSave.Move(120, 600, 735, 375);
  cmdClear.SetCaption("C&lear");
  cmdClear.Move(120, 1560, 735, 375);
  cmdPrint.SetCaption("&Print");
  cmdPrint.Move(120, 1080, 735, 375);

  ilsMain.MaskColor = 0xC0C0C0;
  ilsMain.UseMaskColor = true;
  ilsMain.ListImages = ToolbarImages();
  Toolbar1.Move(0, 0, 6630, 360);
  Toolbar1.ImageListRef = &ilsMain;
  Toolbar1.Buttons = {
      {"Exit", "Exit Glimmet", "Exit", false},
      {"", "", "", true},
      {"Save", "Save", "Save", false},
      {"Print", "Print", "Print", false},
      {"Clear", "Clear", "Clear", false},
      {"", "", "", true},
      {"Copy", "Copy to Clipboard", "Copy", false},
      {"", "", "", true},
      {"Help", "Help", "Help", false},
  };

  lblAfm.SetCaption("");
  lblAfm.Move(1080, 4920, 1695, 255);
  Label5.SetCaption("Glimmet");
  Label5.SetFont({"Comic Sans MS", 18, false});
  Label5.SetForeColor(runtime::vbHighlight);
  Label5.Move(120, 5640, 2295, 495);
  Image1.SetPicture({});
  Image1.Move(3600, 5880, 615, 255);
  Image1.SetVisible(false);

  SetMenu(mnuGrab, "&Grab");
  SetMenu(mnuSave, "&Save");
  SetMenu(mnuPrint, "&Print");
  SetMenu(mnuClear, "C&lear");
  SetMenu(mnustr3, "-");
  SetMenu(mnuCopy, "&Copy to Clipboard");
  SetMenu(mnustr, "-");
  SetMenu(mnuExit, "&Exit");
  SetMenu(mnuHelp2, "&Help");
  SetMenu(mnuHelp, "&Help for Veltrix");
  SetMenu(mnistr2, "-");
  SetMenu(mnuAbout, "&About");
  Menus = {&mnuGrab, &mnuHelp2};

  // Tab walks the window as it reads: the commands down the left, the
  // option groups, the view, Start, the on-top switch and Copy; the hidden
  // text boxes come last.
  runtime::Control* tabOrder[] = {&cmdSave,  &cmdPrint, &cmdClear, &optCapture0,   &optCapture1,  &optCapture2,
                                  &optCapture3, &opt1sec, &opt5sec, &opt10sec,      &HScroll,      &VScroll,
                                  &cmdStart, &chkOnTop, &cmdCopy,  &txtHwndParent, &txtHwndChild, &txtHwndMe,
                                  &txtHwnd};
  for (int i = 0; i < static_cast<int>(std::size(tabOrder)); ++i) tabOrder[i]->TabIndex = i;
}

void frmBitmap::Form_Load() {
  if (OnLoad) OnLoad(*this);
}

void frmBitmap::Form_Unload(int& cancel) {
  if (OnUnload) OnUnload(*this);
}

void frmBitmap::cmdSave_Click() { output::SaveCommand(Dialog1, picS.GetPicture(), *this); }

// Silent, as printing is for the user; a batch run reads sPrintFailure.
void frmBitmap::cmdPrint_Click() { sPrintFailure = output::PrintCommand(picS.GetPicture()); }

void frmBitmap::cmdClear_Click() {
  picS.SetPicture({});
  bCleared = true;
}

void frmBitmap::cmdCopy_Click() { output::CopyCommand(picS.GetPicture()); }

void frmBitmap::chkOnTop_Click() {
  // Each call reads the window's place afresh; only the Z order changes.
  if (chkOnTop.Value() == 1) {
    infowindows::Restack(SetWindowPos, *this, runtime::HWND_TOPMOST);
    infowindows::Restack(SetWindowPos, *this, runtime::HWND_TOPMOST);
  } else {
    // The bottom takes the window out of the topmost band; the top brings
    // it back in front of the ordinary windows.
    infowindows::Restack(SetWindowPos, *this, runtime::HWND_BOTTOM);
    infowindows::Restack(SetWindowPos, *this, runtime::HWND_TOP);
  }
}

void frmBitmap::Toolbar1_ButtonClick(const std::string& key) {
  if (key == "Exit") {
    Unload();
  } else if (key == "Save") {
    cmdSave_Click();
  } else if (key == "Print") {
    cmdPrint_Click();
  } else if (key == "Clear") {
    cmdClear_Click();
  } else if (key == "Copy") {
    cmdCopy_Click();
  } else if (key == "Help") {
    ShowModal(infowindows::frmAboutForm());  // the toolbar's Help is the about box
  }
}

void frmBitmap::mnuExit_Click() { Unload(); }
void frmBitmap::mnuHelp_Click() { ShowModal(infowindows::frmHelpForm()); }
void frmBitmap::mnuAbout_Click() { ShowModal(infowindows::frmAboutForm()); }

void frmBitmap::HScroll_Change() { picS.SetLeft(-ScrollOffset(hRange_, HScroll.Value())); }
void frmBitmap::VScroll_Change() { picS.SetTop(-ScrollOffset(vRange_, VScroll.Value())); }

void frmBitmap::LayoutPicture() {
  const PictureViewLayout l = LayOutPictureView(
      {kadO.Width(), kadO.Height(), picS.Width(), picS.Height(), HScroll.Height(), VScroll.Width()});
  kadI.Move(kadI.Left(), kadI.Top(), l.viewportWidth, l.viewportHeight);
  VScroll.Move(l.vBarLeft, VScroll.Top(), VScroll.Width(), l.vBarHeight);
  HScroll.Move(HScroll.Left(), l.hBarTop, l.hBarWidth, HScroll.Height());

  // Arrow steps of 10 pixels and page steps of a viewport, in bar units,
  // set before the range so that the bar never scrolls with stale steps.
  auto steps = [](runtime::ScrollBar& bar, const ScrollRange& range, double page) {
    bar.SetSmallChange(static_cast<std::int16_t>(std::max(1, runtime::CLng(150.0 / range.unit))));
    bar.SetLargeChange(static_cast<std::int16_t>(std::max(1, runtime::CLng(page / range.unit))));
  };
  if (l.hBarVisible) {
    hRange_ = l.h;
    steps(HScroll, hRange_, l.viewportWidth);
    HScroll.SetMax(l.h.max);
  }
  HScroll.SetVisible(l.hBarVisible);
  if (l.vBarVisible) {
    vRange_ = l.v;
    steps(VScroll, vRange_, l.viewportHeight);
    VScroll.SetMax(l.v.max);
  }
  VScroll.SetVisible(l.vBarVisible);
}

std::string frmBitmap::SizeLabel(double width, double height) {
  return SignedNumber(width) + " x" + SignedNumber(height);
}

frmBitmap& MainForm() {
  static frmBitmap form;
  return form;
}

}  // namespace mainwindow
