// Start/Freeze, the modes and the capture poll's decisions, with the
// captures and the window tree replaced by records.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "mainwindow/frm_bitmap.h"
#include "runtime/gdi.h"
#include "runtime/gui.h"

namespace mainwindow {
namespace {

using runtime::HWND;

constexpr HWND kMe = 1000, kMyClient = 1001;

runtime::Picture Bitmap(int width, int height) {
  runtime::PICTDESC desc;
  desc.hbitmap = runtime::CreateCompatibleBitmap(0, width, height);
  return runtime::OleCreatePictureIndirect(desc, true);
}

struct Poll : testing::Test {
  static void SetUpTestSuite() { runtime::SetGui(nullptr); }
  frmBitmap form;
  std::vector<std::string> grabs;  // "screen" or the handle, "!" when the window was visible
  std::map<HWND, HWND> parents;

  void SetUp() override {
    form.ShowModal = [](runtime::Form&) {};
    form.Load();
    form.Timer1.SetTimerEnabled(false);  // the tests write the boxes themselves
    form.GrabWindow = [this](HWND h) {
      grabs.push_back(std::to_string(h) + (form.Visible() ? "!" : ""));
      return Bitmap(200, 100);
    };
    form.GrabScreen = [this] {
      grabs.push_back(std::string("screen") + (form.Visible() ? "!" : ""));
      return Bitmap(640, 480);
    };
    form.GetParent = [this](HWND h) { return parents.count(h) ? parents[h] : 0; };
    form.IsOwnWindow = [](HWND h) { return h == kMe || h == kMyClient; };
  }
  void TearDown() override { form.Unload(); }

  // One tick with the pointer over window `under` whose parent is `parent`.
  void Tick(const std::string& under, const std::string& parent) {
    form.txtHwndParent.SetText(under);
    form.txtHwndChild.SetText(parent);
    form.SetVisible(true);  // as shown on screen; the hides must take it down
    form.Timer2_Timer();
  }
  void Mode(int index) { form.optCapture(index).SetValue(true); }
};

TEST_F(Poll, StartAndFreezeSwitchTheTimerAndSetTheMarker) {
  form.cmdStart_Click();
  EXPECT_TRUE(form.Timer2.TimerEnabled());
  EXPECT_EQ(form.cmdStart.Caption(), "Freeze");
  EXPECT_EQ(form.txtHwnd.Text(), "9999999");
  form.cmdStart_Click();
  EXPECT_FALSE(form.Timer2.TimerEnabled());
  EXPECT_EQ(form.cmdStart.Caption(), "Start");

  // Area stops tracking and enables the delays; other modes disable them.
  form.cmdStart_Click();
  Mode(3);
  EXPECT_FALSE(form.Timer2.TimerEnabled());
  EXPECT_EQ(form.cmdStart.Caption(), "Start");
  EXPECT_TRUE(form.opt5sec.Enabled());
  form.cmdStart_Click();
  Mode(1);
  EXPECT_FALSE(form.opt5sec.Enabled());
  EXPECT_EQ(form.cmdStart.Caption(), "Start") << "Start in Area mode leaves the button alone";
  EXPECT_EQ(form.AreaDelay(), 500);
}

TEST_F(Poll, ScreenIsCapturedOncePerStartWithTheWindowHidden) {
  form.cmdStart_Click();
  Tick(std::to_string(kMe), "0");
  EXPECT_TRUE(grabs.empty()) << "over the main window itself";
  Tick("500", std::to_string(kMyClient));
  EXPECT_TRUE(grabs.empty()) << "over a control in the main window";
  Tick("500", "0");
  EXPECT_TRUE(grabs.empty()) << "the tick acted on this window already";
  Tick("501", "0");
  EXPECT_EQ(grabs, (std::vector<std::string>{"screen"}));
  EXPECT_EQ(form.txtHwnd.Text(), "0");
  EXPECT_EQ(form.lblAfm.Caption(), " 640 x 480");
  EXPECT_EQ(form.picS.Width(), 640 * 15);

  form.lblAfm.SetCaption("");
  Tick("501", "0");
  EXPECT_EQ(form.lblAfm.Caption(), "") << "same window: no redisplay";
  Tick("600", "0");
  EXPECT_EQ(grabs.size(), 1u) << "another window redisplays without capturing";
  EXPECT_EQ(form.lblAfm.Caption(), " 640 x 480");

  form.cmdStart_Click();  // Freeze
  form.cmdStart_Click();  // Start again: the marker forces a capture
  Tick("700", "0");
  EXPECT_EQ(grabs.size(), 2u);
}

TEST_F(Poll, FormCapturesTheRootThroughParentsAndOwners) {
  Mode(1);
  form.cmdStart_Click();
  parents = {{11, 10}, {10, 0}, {21, 20}, {20, 10}};  // 21 is a dialog owned by 20, owned by 10
  Tick("10", "0");  // a top-level without parent or owner
  Tick("12", "11");
  Tick("22", "21");
  EXPECT_EQ(grabs, (std::vector<std::string>{"10"})) << "the same root again is no new capture";
  Tick("30", "0");
  Tick("12", "11");
  EXPECT_EQ(grabs, (std::vector<std::string>{"10", "30", "10"}));
  EXPECT_EQ(form.txtHwnd.Text(), "10");
  EXPECT_EQ(form.lblAfm.Caption(), " 200 x 100");
}

TEST_F(Poll, ObjectCapturesTheWindowUnderThePointerAndClearForcesTheNext) {
  Mode(2);
  form.cmdStart_Click();
  Tick("12", "11");
  EXPECT_EQ(grabs, (std::vector<std::string>{"12"}));
  EXPECT_EQ(form.txtHwnd.Text(), "12");

  Tick("13", "11");
  // Cleared: the marker, and the next window is captured even when it is
  // the one captured before; sLastHwnd waits for that capture.
  form.bCleared = true;
  Tick(std::to_string(kMe), "0");
  EXPECT_EQ(form.txtHwnd.Text(), "99999999");
  Tick("12", "11");
  EXPECT_EQ(grabs, (std::vector<std::string>{"12", "13", "12"}));
  EXPECT_FALSE(form.bCleared);
  Tick("12", "11");
  EXPECT_EQ(grabs.size(), 3u);

  // Text that is no number neither crashes nor captures.
  Tick("txtHwndParent", "junk");
  Tick(" 1e999 ", "4294967296");
  EXPECT_EQ(grabs.size(), 3u);
  Mode(1);
  Tick("garbage", "more garbage");
  EXPECT_EQ(grabs.size(), 3u);
}

}  // namespace
}  // namespace mainwindow
