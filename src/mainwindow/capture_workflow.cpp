// Start/Freeze, the capture modes, the pointer tracker's tick, the capture
// poll and the area run of the main window.
#include <functional>
#include <optional>
#include <string>

#include "areaselect/frm_full_scr.h"
#include "capture/capture_bitmap.h"
#include "capture/mod_snap.h"
#include "capture/module.h"
#include "mainwindow/frm_bitmap.h"
#include "runtime/events.h"
#include "runtime/forms.h"
#include "runtime/gdi.h"
#include "runtime/screen.h"
#include "runtime/user32.h"

namespace mainwindow {
namespace {

using runtime::HWND;

// Text that is not a number names no window.
HWND HandleOrZero(const std::string& text) { return capture::HandleFromText(text).value_or(0); }

// Whether h is a window of the program or lies inside one: its parents and
// owners are followed up to the top. The main window is hidden while it
// captures, so a picture of its own descendants would come out empty and
// replace the one on show. The walk is bounded against a loop of owners.
bool InOwnWindow(HWND h, const std::function<bool(HWND)>& isOwn, const std::function<HWND(HWND)>& parentOf) {
  for (int depth = 0; depth < 256 && h != 0; ++depth, h = parentOf(h))
    if (isOwn(h)) return true;
  return false;
}

// The root of h: parents (or owners) up to the window that has none. The
// walk is bounded, so a loop of owners cannot hang the poll.
HWND RootOf(HWND h, const std::function<HWND(HWND)>& parentOf) {
  for (int depth = 0; depth < 256; ++depth) {
    const HWND up = parentOf(h);
    if (up == 0) break;
    h = up;
  }
  return h;
}

}  // namespace

void frmBitmap::WireCaptureWorkflow() {
  GrabWindow = [](HWND h) { return capture::GrabWindow(h); };
  GrabScreen = [] { return capture::GrabScreen(); };
  GetParent = [](HWND h) { return runtime::GetParent(h); };
  IsOwnWindow = [this](HWND h) {
    if (h == 0) return false;
    // The controls sit in a client area that is a window of its own on some
    // platforms; it counts as the main window itself.
    const HWND client = runtime::GetParent(cmdStart.hWnd());
    if (client != 0 && h == client) return true;
    // The main window and every other window of the program (selector,
    // about, help, splash).
    for (const runtime::Form* form : runtime::LoadedForms())
      if (form->hWnd() == h) return true;
    return false;
  };
  Timer1.Tick = [this] { Timer1_Timer(); };
  Timer2.Tick = [this] { Timer2_Timer(); };
  cmdStart.Click = [this] { cmdStart_Click(); };
  for (int i = 0; i < 4; ++i) optCapture(i).Click = [this, i] { optCapture_Click(i); };
}

void frmBitmap::Timer1_Timer() { capture::TrackWindowUnderCursor(txtHwndParent, txtHwndChild); }

void frmBitmap::cmdStart_Click() {
  if (optCapture(3).Value()) {
    RunAreaCapture();
    return;
  }
  if (cmdStart.Caption() == "Start") {
    Timer2.SetTimerEnabled(true);
    cmdStart.SetCaption("Freeze");
    // Differs from every handle the tracker reports and from 0, so the first
    // eligible tick captures in every mode.
    txtHwnd.SetText("9999999");
  } else {
    Timer2.SetTimerEnabled(false);
    cmdStart.SetCaption("Start");
  }
  runtime::DoEvents();
}

void frmBitmap::optCapture_Click(int index) {
  const bool area = index == 3;
  if (area && cmdStart.Caption() == "Freeze") {
    Timer2.SetTimerEnabled(false);
    cmdStart.SetCaption("Start");
    runtime::DoEvents();
  }
  for (runtime::OptionButton* delay : {&opt10sec, &opt5sec, &opt1sec}) delay->SetEnabled(area);
  cmdStart.SetFocus();
}

void frmBitmap::CaptureSequence(const std::function<runtime::Picture()>& grab) {
  // Hidden, so that the window neither covers nor appears in the picture.
  Hide();
  runtime::DoEvents();
  Image1.SetPicture(grab());
  runtime::DoEvents();
  Show();
}

void frmBitmap::ShowCapturedPicture() {
  picS.SetPicture(Image1.GetPicture());
  picS.SetWidth(Image1.Width());
  picS.SetHeight(Image1.Height());
}

void frmBitmap::Timer2_Timer() {
  // 1. The pointer is still over the window of the last acted-on tick.
  if (txtHwndParent.Text() == sLastHwnd) return;
  // 2. A cleared picture waits for a capture: keep passing this step.
  if (bCleared)
    txtHwnd.SetText("99999999");
  else
    sLastHwnd = txtHwndParent.Text();
  // 3. Over any window of the program, or anything inside one.
  if (PointerOverOwnWindow()) return;

  // 4. Mode work.
  if (optCapture(0).Value()) {
    PollScreen();
  } else if (optCapture(1).Value()) {
    if (!PollForm()) return;
  } else if (optCapture(2).Value()) {
    PollObject();
  }

  // 5. Redisplay.
  ShowCapturedPicture();
  LayoutPicture();
  lblAfm.SetCaption(SizeLabel(static_cast<float>(picS.Width() / 15), static_cast<float>(picS.Height() / 15)));
}

bool frmBitmap::PointerOverOwnWindow() {
  const auto under = capture::HandleFromText(txtHwndParent.Text()),
             parent = capture::HandleFromText(txtHwndChild.Text());
  return (under && InOwnWindow(*under, IsOwnWindow, GetParent)) ||
         (parent && InOwnWindow(*parent, IsOwnWindow, GetParent));
}

void frmBitmap::PollScreen() {
  // The marker is 0 after a capture, so the screen is taken once per Start.
  if (HandleOrZero(txtHwnd.Text()) == 0) return;
  Hide();
  runtime::DoEvents();
  Image1.SetPicture(GrabScreen());
  ShowCapturedPicture();
  runtime::DoEvents();
  Show();
  bCleared = false;
  txtHwnd.SetText("0");
}

bool frmBitmap::PollForm() {
  const HWND parent = HandleOrZero(txtHwndChild.Text());
  // A window with neither parent nor owner is its own root.
  if (parent == 0) {
    PollObject();
    return true;
  }
  const HWND root = RootOf(parent, GetParent);
  // A root walk that ends at a window of the program captures nothing.
  if (IsOwnWindow(root)) return false;
  const auto marker = capture::HandleFromText(txtHwnd.Text());
  if (!marker || *marker != root) {
    CaptureSequence([&] { return GrabWindow(root); });
    txtHwnd.SetText(std::to_string(root));
    bCleared = false;
  }
  return true;
}

void frmBitmap::PollObject() {
  if (txtHwnd.Text() == txtHwndParent.Text()) return;
  const std::string target = txtHwndParent.Text();
  // Text that is no number names no window: nothing to capture.
  if (const auto h = capture::HandleFromText(target)) CaptureSequence([&] { return GrabWindow(*h); });
  txtHwnd.SetText(target);
  bCleared = false;
}

int frmBitmap::AreaDelay() {
  if (opt1sec.Value()) return 500;
  if (opt5sec.Value()) return 5000;
  if (opt10sec.Value()) return 10000;
  return 0;
}

void frmBitmap::RunAreaCapture() {
  Hide();
  // Let the windows uncovered by the hiding repaint.
  for (int i = 0; i < 101; ++i) runtime::DoEvents();
  if (const int ms = AreaDelay()) runtime::Sleep(ms);
  capture::SnapDesktop();
  runtime::DoEvents();
  capture::SnapDesktop();
  runtime::DoEvents();

  areaselect::AreaState& area = areaselect::SharedArea();
  area.bAreaOK = false;
  areaselect::frmFullScr& selector = areaselect::frmFullScrForm();
  selector.OnHidden = [this] { SetWindowState(runtime::WindowState::Normal); };
  ShowModal(selector);
  runtime::DoEvents();

  if (area.bAreaOK) {
    picS.SetWidth(area.lAreaWidth * 15.0);
    picS.SetHeight(area.lAreaHeight * 15.0);
    // Parts of the rectangle beyond the frozen screen come out black.
    runtime::BitBlt(picS.hDC(), 0, 0, area.lAreaWidth, area.lAreaHeight, selector.pic.hDC(), area.lAreaX1,
                    area.lAreaY1, runtime::SRCCOPY);
    picS.SetPicture(picS.Image());
    LayoutPicture();
    lblAfm.SetCaption(SizeLabel(area.lAreaWidth, area.lAreaHeight));
    runtime::Screen().SetMousePointer(runtime::MousePointer::Default);
  }
  Show();
}

}  // namespace mainwindow
