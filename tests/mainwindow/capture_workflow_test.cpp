// Start/Freeze, the modes and the capture poll's decisions, with the
// captures and the window tree replaced by records.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "mainwindow/frm_bitmap.h"
#include "runtime/gui.h"

namespace mainwindow {
namespace {

using runtime::HWND;
using Grabs = std::vector<std::string>;
constexpr HWND kMe = 1000, kMyClient = 1001, kMySelector = 2000;

struct Poll : testing::Test {
  static void SetUpTestSuite() { runtime::SetGui(nullptr); }
  frmBitmap form;
  Grabs grabs;  // "screen" or the handle, with "!" when the main window was visible
  std::map<HWND, HWND> parents;

  runtime::Picture Grab(const std::string& what, int width, int height) {
    grabs.push_back(what + (form.Visible() ? "!" : ""));
    runtime::PICTDESC desc;
    desc.hbitmap = runtime::CreateCompatibleBitmap(0, width, height);
    return runtime::OleCreatePictureIndirect(desc, true);
  }
  void SetUp() override {
    form.ShowModal = [](runtime::Form&) {};
    form.Load();
    form.Timer1.SetTimerEnabled(false);  // the tests write the boxes themselves
    form.GrabWindow = [this](HWND h) { return Grab(std::to_string(h), 200, 100); };
    form.GrabScreen = [this] { return Grab("screen", 640, 480); };
    form.GetParent = [this](HWND h) { return parents.count(h) ? parents[h] : 0; };
    form.IsOwnWindow = [](HWND h) { return h == kMe || h == kMyClient || h == kMySelector; };
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

// Start sets the marker that forces the next capture; Area stops tracking
// and enables the delays, other modes disable them.
TEST_F(Poll, StartAndFreezeSwitchTheTimerAndSetTheMarkerAndAreaStopsTracking) {
  const auto state = [&] { return std::make_tuple(form.Timer2.TimerEnabled(), form.cmdStart.Caption(), form.opt5sec.Enabled()); };
  form.cmdStart_Click();
  EXPECT_EQ(std::make_tuple(state(), form.txtHwnd.Text()), std::make_tuple(std::make_tuple(true, "Freeze", false), "9999999"));
  form.cmdStart_Click();
  EXPECT_EQ(state(), std::make_tuple(false, "Start", false));
  form.cmdStart_Click();
  Mode(3);
  EXPECT_EQ(state(), std::make_tuple(false, "Start", true));
  form.cmdStart_Click();
  Mode(1);
  EXPECT_EQ(state(), std::make_tuple(false, "Start", false)) << "Start in Area mode leaves the button alone";
  EXPECT_EQ(form.AreaDelay(), 500);
}

// Not over the main window or its controls, not twice for one window; a
// new window redisplays the picture, a new Start captures anew.
TEST_F(Poll, ScreenIsCapturedOncePerStartWithTheWindowHidden) {
  form.cmdStart_Click();
  using Ticks = std::vector<std::pair<std::string, std::string>>;
  for (const auto& [under, parent] : Ticks{{std::to_string(kMe), "0"}, {"500", std::to_string(kMyClient)}, {"500", "0"}})
    Tick(under, parent);
  EXPECT_TRUE(grabs.empty());
  Tick("501", "0");
  EXPECT_EQ(std::make_tuple(grabs, form.txtHwnd.Text(), form.lblAfm.Caption(), form.picS.Width()),
            std::make_tuple(Grabs{"screen"}, "0", " 640 x 480", 640.0 * 15));
  form.lblAfm.SetCaption("");
  Tick("501", "0");
  EXPECT_EQ(form.lblAfm.Caption(), "") << "same window: no redisplay";
  form.cmdStart_Click();  // Freeze
  form.cmdStart_Click();  // Start again: the marker forces a capture
  Tick("700", "0");
  EXPECT_EQ(grabs, (Grabs{"screen", "screen"}));
}

TEST_F(Poll, FormCapturesTheRootThroughParentsAndOwners) {
  Mode(1);
  form.cmdStart_Click();
  parents = {{11, 10}, {10, 0}, {21, 20}, {20, 10}};  // 21 is a dialog owned by 20, owned by 10
  for (const auto& [under, parent] : {std::pair{"10", "0"}, {"12", "11"}, {"22", "21"}}) Tick(under, parent);
  EXPECT_EQ(grabs, Grabs{"10"}) << "the same root again is no new capture";
  Tick("30", "0");
  Tick("12", "11");
  EXPECT_EQ(grabs, (Grabs{"10", "30", "10"}));
  EXPECT_EQ(std::make_tuple(form.txtHwnd.Text(), form.lblAfm.Caption()), std::make_tuple(std::string("10"), std::string(" 200 x 100")));
}

// The walk up goes as far as the owners go (far deeper than dialogs nest in
// practice), and a loop of owners still ends the tick.
TEST_F(Poll, FormWalksLongChainsOfOwnersAndEndsInALoop) {
  Mode(1);
  form.cmdStart_Click();
  for (HWND h = 101; h <= 200; ++h) parents[h] = h - 1;  // 200 -> 199 -> ... -> 100
  Tick("300", "200");
  EXPECT_EQ(grabs, Grabs{"100"});
  parents[400] = 401, parents[401] = 400;  // each owns the other
  Tick("402", "400");
  ASSERT_EQ(grabs.size(), 2u);
  EXPECT_TRUE(grabs[1] == "400" || grabs[1] == "401") << grabs[1];
}

// Cleared: the marker, and the next window is captured even when it is the
// one captured before. Text that is no number neither crashes nor captures.
TEST_F(Poll, ObjectCapturesTheWindowUnderThePointerAndClearForcesTheNext) {
  Mode(2);
  form.cmdStart_Click();
  Tick("12", "11");
  Tick("13", "11");
  form.bCleared = true;
  Tick(std::to_string(kMe), "0");
  EXPECT_EQ(form.txtHwnd.Text(), "99999999");
  Tick("12", "11");
  Tick("12", "11");
  EXPECT_EQ(std::make_tuple(grabs, form.txtHwnd.Text(), form.bCleared), std::make_tuple(Grabs{"12", "13", "12"}, "12", false));
  Tick("txtHwndParent", "junk");
  Tick(" 1e999 ", "4294967296");
  Mode(1);
  Tick("garbage", "more garbage");
  EXPECT_EQ(grabs.size(), 3u);
}

// Any window of the program, however deep, captures nothing in every mode
// and leaves the picture and its size label as they were: the picture view
// and the option buttons in their frame lie below the client area, a
// message box is owned by the main window, the selector is a window of its
// own.
TEST_F(Poll, WindowsOfTheProgramAndTheirDescendantsAreNeverCaptured) {
  constexpr HWND kPicture = 1010, kView = 1002, kOption = 1020, kFrame = 1003, kBox = 1500, kBoxButton = 1501,
                 kSelectorChild = 2001;
  parents = {{kPicture, kView}, {kView, kMyClient}, {kOption, kFrame}, {kFrame, kMyClient}, {kMyClient, kMe},
             {kBoxButton, kBox}, {kBox, kMe}, {kSelectorChild, kMySelector}};
  using Ticks = std::vector<std::pair<HWND, HWND>>;
  const Ticks own = {{kPicture, kView}, {kOption, kFrame}, {kView, kMyClient}, {kBoxButton, kBox},
                     {kBox, kMe}, {kSelectorChild, kMySelector}, {kMySelector, 0}};
  for (int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    Mode(mode);
    form.cmdStart_Click();
    Tick("500", "0");
    const std::size_t taken = grabs.size();
    const runtime::Picture shown = form.picS.GetPicture();
    const std::string label = form.lblAfm.Caption();
    ASSERT_NE(shown.Handle(), 0);
    for (const auto& [under, parent] : own) {
      Tick(std::to_string(under), std::to_string(parent));
      EXPECT_EQ(std::make_tuple(grabs.size(), form.picS.GetPicture().Handle(), form.lblAfm.Caption()),
                std::make_tuple(taken, shown.Handle(), label))
          << under;
    }
    // A foreign window afterwards is captured as before (the screen only
    // once per Start).
    Tick("600", "0");
    EXPECT_EQ(grabs.size(), taken + (mode == 0 ? 0 : 1));
    form.cmdStart_Click();  // Freeze
  }
}

}  // namespace
}  // namespace mainwindow
