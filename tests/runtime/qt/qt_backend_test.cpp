// The Qt peers on a real X server: the window tree they make, and the
// model events that real pointer and keyboard input produce.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <tuple>

#include "infowindows/pixel_art.h"
#include "runtime/app.h"
#include "runtime/events.h"
#include "runtime/forms.h"
#include "runtime/gui.h"
#include "runtime/linux/shell.h"

using namespace runtime;
using testshell::Shell;

namespace {

// Pumps the runtime's loop until pred holds (or, without one, a few rounds);
// the bound only keeps a broken build from hanging the suite.
bool PumpUntil(const std::function<bool()>& pred) {
  for (int i = 0; i < 400 && !pred(); ++i) Gui()->Pump(25), DoEvents();
  return pred();
}
void PumpAWhile() { PumpUntil([rounds = 0]() mutable { return rounds++ == 5; }); }

std::string Id(HWND id) { return std::to_string(id); }
std::string Id(const Control& c) { return Id(c.hWnd()); }

struct WinInfo {
  int x = -1, y = -1, width = -1, height = -1;  // x, y relative to the parent
  HWND parent = 0;
  bool viewable = false;
};

WinInfo Info(HWND id) {
  const std::string text = Shell("xwininfo -children -stats -id " + Id(id) + " 2>/dev/null");
  WinInfo info;
  std::smatch m;
  if (std::regex_search(text, m, std::regex(R"(Parent window id: (0x[0-9a-f]+))")))
    info.parent = static_cast<HWND>(std::stoul(m[1], nullptr, 16));
  if (std::regex_search(text, m, std::regex(R"(Relative upper-left X:\s+(-?\d+)\s+Relative upper-left Y:\s+(-?\d+)\s+)"
                                            R"(Width:\s+(\d+)\s+Height:\s+(\d+))")))
    info = {std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]), info.parent};
  info.viewable = text.find("IsViewable") != std::string::npos;
  return info;
}

void Click(const Control& c, int x = 4, int y = 4, int button = 1) {
  Shell("xdotool mousemove --window " + Id(c) + " " + std::to_string(x) + " " + std::to_string(y) + " click " +
        std::to_string(button));
}

// Colour of one screen pixel of a window, as 0xRRGGBB.
std::uint32_t PixelOf(HWND window, int x, int y) {
  const std::string text = Shell("xwd -silent -id " + Id(window) + " | convert xwd:- -crop 1x1+" + std::to_string(x) +
                                 "+" + std::to_string(y) + " txt:- 2>/dev/null");
  std::smatch m;
  if (!std::regex_search(text, m, std::regex(R"(#([0-9A-Fa-f]{6}))"))) return 0xFFFFFFFF;
  return static_cast<std::uint32_t>(std::stoul(m[1], nullptr, 16));
}

class TestForm : public Form {
 public:
  TestForm() : Form("frmQtTest") {}

  CommandButton cmdGo{"cmdGo", this};
  Label lblName{"lblName", this};
  Frame fraMode{"fraMode", this};
  OptionButton optA{"optA", &fraMode};
  OptionButton optB{"optB", &fraMode};
  CheckBox chkInside{"chkInside", &fraMode};
  CheckBox chkOn{"chkOn", this};
  TextBox txtName{"txtName", this};
  TextBox txtAway{"txtAway", this};  // beyond the client area: working storage
  PictureBox picView{"picView", this};
  PictureBox picInner{"picInner", &picView};
  ScrollBar hsbPos{"hsbPos", this, true};
  Timer tmrTick{"tmrTick", this};
  Menu mnuFile{"mnuFile", this};

 protected:
  void Design() override {
    SetCaption("Qt peer test");
    SetClientSize(6000, 4500);
    StartUpPosition = 0;
    Move(1500, 1500, 6000, 5000);
    cmdGo.Move(120, 120, 1215, 375);
    lblName.Move(1500, 120, 1500, 255);
    fraMode.Move(120, 600, 1500, 1200);
    optA.Move(0, 120, 1200, 375);
    optA.SetValue(true);
    optB.Move(0, 480, 1200, 375);
    optB.SetCaption("B");
    chkInside.Move(0, 840, 1200, 300);
    chkOn.Move(120, 1920, 1200, 375);
    chkOn.SetCaption("On");
    txtName.Move(120, 2400, 1500, 285);
    txtAway.Move(6120, 120, 1500, 285);
    picView.Move(1800, 600, 3000, 2250);
    picInner.Move(30, 45, 1500, 1200);
    picInner.BorderStyle = 0;
    picInner.SetScaleMode(ScaleMode::Pixels);
    hsbPos.Move(1800, 3000, 3000, 255);
    hsbPos.SetMax(1000);
    tmrTick.SetInterval(0);
    mnuFile.SetCaption("&File");
    // Visited by Tab in this order, not in the order they were made.
    txtName.TabIndex = 0;
    chkOn.TabIndex = 1;
    txtAway.TabIndex = 2;
    chkInside.TabIndex = 3;
    cmdGo.TabIndex = 4;
  }
};

class QtBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    // The module lies beside the program in the build folder.
    App().Path = std::filesystem::path(GLIMMET_BINARY).parent_path().string();
    ASSERT_NE(Gui(), nullptr) << "the Qt module did not start";
  }
  void TearDown() override { form.Unload(); }

  void ShowForm() {
    form.Show();
    ASSERT_NE(form.hWnd(), 0);
    ASSERT_TRUE(PumpUntil([&] { return Info(form.hWnd()).viewable; }));
    PumpAWhile();
  }

  TestForm form;
};

TEST_F(QtBackendTest, ControlsAreChildWindowsAtTheirDesignPixels) {
  ShowForm();
  // The client area (the parent of a top-level control) lies below the menu bar.
  const HWND client = Info(form.cmdGo.hWnd()).parent;
  const WinInfo area = Info(client);
  EXPECT_EQ(area.parent, form.hWnd());
  EXPECT_EQ(std::tie(area.x, area.width, area.height), std::make_tuple(0, 400, 300));
  EXPECT_GT(area.y, 10) << "room for the menu bar";

  struct Expect { const Control* control; HWND parent; int x, y, w, h; };
  const Expect expected[] = {
      {&form.cmdGo, client, 8, 8, 81, 25},
      {&form.optB, form.fraMode.hWnd(), 2, 34, 80, 25},  // inside the frame's two-pixel border
      {&form.picInner, form.picView.hWnd(), 3, 4, 100, 80},  // inside the box's one-pixel border
      {&form.hsbPos, client, 120, 200, 200, 17},
  };
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.control->Name());
    const WinInfo w = Info(e.control->hWnd());
    EXPECT_EQ(std::tie(w.parent, w.x, w.y, w.width, w.height), std::tie(e.parent, e.x, e.y, e.w, e.h));
  }
  EXPECT_EQ(form.lblName.hWnd(), 0);  // labels draw on their container

  // The model moves or hides a control: only its window follows.
  form.cmdGo.Move(300, 150, 1500, 450);
  form.hsbPos.SetVisible(false);
  PumpAWhile();
  const WinInfo moved = Info(form.cmdGo.hWnd());
  EXPECT_EQ(std::tie(moved.x, moved.y, moved.width, moved.height), std::make_tuple(20, 10, 100, 30));
  EXPECT_FALSE(Info(form.hsbPos.hWnd()).viewable);
  EXPECT_TRUE(Info(form.picView.hWnd()).viewable);
  EXPECT_GT(form.Height(), (area.y + 300) * 15);  // the outer size, frame included
}

// Clicks on buttons and options, Tab by TabIndex (into frames, past a text
// box out of sight) with space pressing the focused control and Enter the
// focused button, and keys seen by the form first with KeyPreview.
TEST_F(QtBackendTest, ClicksTabOrderAndKeyPreview) {
  std::string clicks;
  form.cmdGo.Click = [&] { clicks += "go "; };
  form.optB.Click = [&] { clicks += "B "; };
  form.chkOn.Click = [&] { clicks += "on "; };
  form.chkInside.Click = [&] { clicks += "inside "; };
  form.KeyPreview = true;
  std::vector<std::string> keys;
  form.KeyDown = [&](int& code, int shift) {
    keys.push_back("form " + std::to_string(code) + "/" + std::to_string(shift));
    if (code == 27) code = 0;  // the form eats Escape
  };
  form.txtName.KeyDown = [&](int& code, int) { keys.push_back("text " + std::to_string(code)); };
  form.txtName.KeyPress = [&](int& ascii) { keys.push_back("press " + std::to_string(ascii)); };
  ShowForm();
  const auto clickUntil = [&](const Control& c, const std::string& want) {
    Click(c);
    return PumpUntil([&] { return clicks == want; });
  };
  ASSERT_TRUE(clickUntil(form.cmdGo, "go ")) << clicks;
  ASSERT_TRUE(clickUntil(form.optB, "go B ")) << clicks;
  EXPECT_TRUE(form.optB.Value());
  EXPECT_FALSE(form.optA.Value());
  // The model chooses: the peers follow, so the user's click chooses again.
  form.optA.SetValue(true);
  PumpAWhile();
  ASSERT_TRUE(clickUntil(form.optB, "go B B ")) << clicks;
  EXPECT_FALSE(form.optA.Value());
  ASSERT_TRUE(clickUntil(form.chkOn, "go B B on ")) << clicks;
  EXPECT_EQ(form.chkOn.Value(), 1);

  clicks.clear();
  Click(form.txtName);
  PumpAWhile();
  Shell("xdotool key --clearmodifiers shift+a");
  ASSERT_TRUE(PumpUntil([&] { return form.txtName.Text() == "A"; }));
  Shell("xdotool key Escape Left");
  ASSERT_TRUE(PumpUntil([&] { return keys.size() >= 7; }));
  const std::vector<std::string> expected = {"form 16/1", "text 16",  "form 65/1", "text 65",
                                             "press 65",  "form 27/0", "form 37/0"};
  EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 7), expected);
  form.KeyPreview = false;
  for (const char* want : {"on ", "on inside ", "on inside go "}) {
    Shell("xdotool key --clearmodifiers Tab space");
    EXPECT_TRUE(PumpUntil([&] { return clicks == want; })) << clicks;
  }
  EXPECT_EQ(form.chkOn.Value(), 0);
  EXPECT_EQ(form.txtAway.Text(), "");
  for (const char* want : {"on inside go go ", "on inside go go go "}) {
    Shell(std::string("xdotool key --clearmodifiers ") + (clicks.size() < 18 ? "Return" : "KP_Enter"));
    EXPECT_TRUE(PumpUntil([&] { return clicks == want; })) << clicks;
  }
}

TEST_F(QtBackendTest, PictureBoxPixelsMouseAndScrollBarDrag) {
  infowindows::Canvas picture(40, 30, 0x0000FF);
  picture.FillRect(0, 0, 20, 30, 0xFF0000);  // red left half, blue right half
  form.picInner.SetPicture(picture.ToPicture());
  std::vector<std::tuple<int, int, float, float>> downs;
  form.picInner.MouseDown = [&](int button, int shift, float x, float y) { downs.emplace_back(button, shift, x, y); };
  form.picView.MouseDown = form.picInner.MouseDown;
  std::vector<int> scrolls, changes;
  form.hsbPos.Scroll = [&] { scrolls.push_back(form.hsbPos.Value()); };
  form.hsbPos.Change = [&] { changes.push_back(form.hsbPos.Value()); };
  ShowForm();

  // The picture is blitted pixel for pixel at the client origin.
  const HWND inner = form.picInner.hWnd();
  EXPECT_EQ(PixelOf(inner, 19, 29), 0xFF0000u);
  EXPECT_EQ(PixelOf(inner, 20, 0), 0x0000FFu);
  // Pixel scale: pixels. Twip scale (picView): twips inside the border.
  Click(form.picInner, 10, 20);
  Click(form.picView, 150, 5, 3);
  ASSERT_TRUE(PumpUntil([&] { return downs.size() == 2; }));
  EXPECT_EQ(downs[0], std::make_tuple(vbLeftButton, 0, 10.0f, 20.0f));
  EXPECT_EQ(downs[1], std::make_tuple(vbRightButton, 0, 149.0f * 15, 4.0f * 15));
  // Drawing on the persistent surface shows after Refresh.
  form.picInner.hDC();
  Bitmap* surface = const_cast<Bitmap*>(form.picInner.Surface());
  ASSERT_NE(surface, nullptr);
  reinterpret_cast<std::uint32_t*>(surface->Row(5))[5] = 0x00FF00;
  form.picInner.Refresh();
  PumpAWhile();
  EXPECT_EQ(PixelOf(inner, 5, 5), 0x00FF00u);

  // Dragging the thumb (next to the left arrow) scrolls; only the release changes.
  const std::string bar = Id(form.hsbPos);
  Shell("xdotool mousemove --window " + bar + " 24 8 mousedown 1");
  PumpAWhile();
  Shell("xdotool mousemove --window " + bar + " 60 8");
  ASSERT_TRUE(PumpUntil([&] { return !scrolls.empty(); }));
  Shell("xdotool mousemove --window " + bar + " 100 8");
  ASSERT_TRUE(PumpUntil([&] { return scrolls.size() >= 2 && scrolls.back() > scrolls.front(); }));
  EXPECT_TRUE(changes.empty()) << "no Change while the thumb is held";
  Shell("xdotool mouseup 1");
  ASSERT_TRUE(PumpUntil([&] { return !changes.empty(); }));
  EXPECT_EQ(changes.back(), scrolls.back());
  // The model sets the value: one Change, the peer follows without echoing a second.
  const auto before = changes.size();
  form.hsbPos.SetValue(25);
  PumpAWhile();
  EXPECT_EQ(changes.size(), before + 1);
  EXPECT_EQ(form.hsbPos.Value(), 25);
}

// A modal show returns once a timer unloads the form; the timer ticks in
// the pump, never during Sleep, and once however overdue. The form then
// shows again with fresh peers.
TEST_F(QtBackendTest, ModalShowEndsWhenATimerUnloadsTheForm) {
  int ticks = 0;
  form.tmrTick.Tick = [&] {
    if (++ticks == 3) form.Unload();
  };
  form.Load();
  form.tmrTick.SetInterval(30);
  form.tmrTick.SetTimerEnabled(true);
  runtime::Sleep(100);
  EXPECT_EQ(ticks, 0);
  DoEvents();
  EXPECT_EQ(ticks, 1);
  form.Show(true);
  EXPECT_FALSE(form.Loaded());
  EXPECT_EQ(ticks, 3);
  ShowForm();
  EXPECT_TRUE(Info(form.cmdGo.hWnd()).viewable);
}

}  // namespace
