// The main window: capture options, Start, the picture commands, a menu
// bar, a toolbar, an on-top switch and a scrollable picture view. In a batch
// run it is loaded but never shown; its controls are then working storage.
#pragma once
#include <functional>
#include <string>

#include "infowindows/window_pos.h"
#include "runtime/picture.h"
#include "mainwindow/picture_layout.h"
#include "runtime/forms.h"

namespace mainwindow {

class frmBitmap : public runtime::Form {
 public:
  frmBitmap();

  // Controls, in design order. Geometry in twips.
  runtime::CheckBox chkOnTop{"chkOnTop", this};
  runtime::Frame Frame2{"Frame2", this};
  runtime::OptionButton opt10sec{"opt10sec", &Frame2};
  runtime::OptionButton opt5sec{"opt5sec", &Frame2};
  runtime::OptionButton opt1sec{"opt1sec", &Frame2};
  runtime::Frame Frame1{"Frame1", this};
  runtime::OptionButton optCapture0{"optCapture", &Frame1, 0};  // "Screen"
  runtime::OptionButton optCapture1{"optCapture", &Frame1, 1};  // "Form"
  runtime::OptionButton optCapture2{"optCapture", &Frame1, 2};  // "Object"
  runtime::OptionButton optCapture3{"optCapture", &Frame1, 3};  // "Area"
  runtime::PictureBox kadO{"kadO", this};
  runtime::ScrollBar HScroll{"HScroll", &kadO, true};
  runtime::ScrollBar VScroll{"VScroll", &kadO, false};
  runtime::PictureBox kadI{"kadI", &kadO};
  runtime::PictureBox picS{"picS", &kadI};
  runtime::TextBox txtHwnd{"txtHwnd", this};
  runtime::CommandButton cmdCopy{"cmdCopy", this};
  runtime::TextBox txtHwndMe{"txtHwndMe", this};
  runtime::TextBox txtHwndChild{"txtHwndChild", this};
  runtime::TextBox txtHwndParent{"txtHwndParent", this};
  runtime::Timer Timer2{"Timer2", this};
  runtime::Timer Timer1{"Timer1", this};
  runtime::CommandButton cmdStart{"cmdStart", this};
  runtime::CommonDialog Dialog1{"Dialog1", this};
  runtime::CommandButton cmdSave{"cmdSave", this};
  runtime::CommandButton cmdClear{"cmdClear", this};
  runtime::CommandButton cmdPrint{"cmdPrint", this};
  runtime::Toolbar Toolbar1{"Toolbar1", this};
  runtime::ImageList ilsMain{"ilsMain", this};
  runtime::Label lblAfm{"lblAfm", this};
  runtime::Label Label5{"Label5", this};
  runtime::ImageBox Image1{"Image1", this};

  // Menus.
  runtime::Menu mnuGrab{"mnuGrab", this};
  runtime::Menu mnuSave{"mnuSave", &mnuGrab};
  runtime::Menu mnuPrint{"mnuPrint", &mnuGrab};
  runtime::Menu mnuClear{"mnuClear", &mnuGrab};
  runtime::Menu mnustr3{"mnustr3", &mnuGrab};
  runtime::Menu mnuCopy{"mnuCopy", &mnuGrab};
  runtime::Menu mnustr{"mnustr", &mnuGrab};
  runtime::Menu mnuExit{"mnuExit", &mnuGrab};
  runtime::Menu mnuHelp2{"mnuHelp2", this};
  runtime::Menu mnuHelp{"mnuHelp", &mnuHelp2};
  runtime::Menu mnistr2{"mnistr2", &mnuHelp2};
  runtime::Menu mnuAbout{"mnuAbout", &mnuHelp2};

  runtime::OptionButton& optCapture(int index);

  // Form-level state.
  std::string sLastHwnd;
  bool bCleared = false;
  // Why the last Print put no page on a printer; empty when it did.
  std::string sPrintFailure;
  // Batch-run state.
  std::string sWindowText, sSaveFile;
  bool bScreen = false, bPrint = false, bCaptured = false;

  // The load and unload handlers belong to start-up; it installs them here
  // so that this window does not depend on it.
  std::function<void(frmBitmap&)> OnLoad;
  std::function<void(frmBitmap&)> OnUnload;
  void Form_Load() override;
  void Form_Unload(int& cancel) override;

  // Commands: one implementation each, shared by buttons, menu and toolbar.
  void cmdSave_Click();
  void cmdPrint_Click();
  void cmdClear_Click();
  void cmdCopy_Click();
  // Checked: topmost; otherwise back among the ordinary windows, in front.
  void chkOnTop_Click();
  // Runs the action of the button with this key (case-sensitive); an
  // unknown key does nothing.
  void Toolbar1_ButtonClick(const std::string& key);
  void mnuExit_Click();
  void mnuHelp_Click();
  void mnuAbout_Click();
  // Both the change and the drag notification slide the picture.
  void HScroll_Change();
  void VScroll_Change();
  // Sizes the viewport and sets the scroll bars for the current picS.
  void LayoutPicture();
  // The size label's text for a picture of width x height pixels:
  // " 640 x 480".
  static std::string SizeLabel(double width, double height);

  // The capture workflow: Start/Freeze, the mode choice, the tracker tick,
  // the capture poll and the area run.
  void cmdStart_Click();
  void optCapture_Click(int index);
  void Timer1_Timer();
  void Timer2_Timer();
  // picS takes the captured picture in Image1, at its size.
  void ShowCapturedPicture();
  void RunAreaCapture();
  // Milliseconds the area run waits for the chosen delay.
  int AreaDelay();

  // Seams for the capture calls, so the poll's decisions can be followed
  // without a display.
  std::function<runtime::Picture(runtime::HWND)> GrabWindow;
  std::function<runtime::Picture()> GrabScreen;
  std::function<runtime::HWND(runtime::HWND)> GetParent;
  // The window's own handles: the window and the area holding its controls.
  std::function<bool(runtime::HWND)> IsOwnWindow;

  // Seams for the calls that need a real window system: the Z-order call
  // and the modal show of the about and help windows.
  infowindows::SetWindowPosFn SetWindowPos = infowindows::PlatformSetWindowPos();
  std::function<void(runtime::Form&)> ShowModal = [](runtime::Form& form) { form.Show(true); };

 protected:
  void Design() override;

 private:
  void WireCaptureWorkflow();
  // Hides the window, captures what grab returns into Image1, shows it again.
  void CaptureSequence(const std::function<runtime::Picture()>& grab);
  // The capture poll's steps: whether the pointer lies over a window of the
  // program, and the work of each mode. PollForm is false when the tick
  // ends without a redisplay (the root is a window of the program).
  bool PointerOverOwnWindow();
  void PollScreen();
  bool PollForm();
  void PollObject();
  // How bar values map to picture offsets for the current picture.
  ScrollRange hRange_, vRange_;
};

// The one main window of the program.
frmBitmap& MainForm();

}  // namespace mainwindow
