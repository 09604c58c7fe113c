// Capture by pointing and the area selector, driven with xdotool as a user
// would: Object and Form over xclock, Screen once per Start, Freeze, and
// area runs with a drag, a key move, Enter and Escape. Pictures are read
// back from the picture view's window on the X server.
#include <chrono>
#include <cstring>
#include <regex>
#include <thread>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

std::string Id(unsigned long id) { return std::to_string(id); }
std::string Num(int v) { return std::to_string(v); }

// A window in an xwininfo tree listing with that size: its id and absolute
// place, or a zero id.
std::pair<unsigned long, Rect> FindInTree(const std::string& tree, int width, int height) {
  const std::string size = " " + Num(width) + "x" + Num(height) + "+";
  std::istringstream lines(tree);
  for (std::string line; std::getline(lines, line);) {
    const auto at = line.find(size);
    const auto id = line.find("0x");
    if (at == std::string::npos || id == std::string::npos) continue;
    Rect r{0, 0, width, height};
    const auto abs = line.find(" +", at + size.size());
    if (abs != std::string::npos) std::sscanf(line.c_str() + abs, " +%d+%d", &r.x, &r.y);
    return {std::stoul(line.substr(id), nullptr, 16), r};
  }
  return {0, {}};
}

// The main window of the program: the one whose client area is 442 x 416
// (the splash may carry the same name while it shows).
unsigned long MainWindowOf(pid_t pid) {
  unsigned long found = 0;
  WaitUntil(
      [&] {
        std::istringstream ids(Shell("xdotool search --onlyvisible --pid " + Num(pid) + " --name '^Glimmet$' 2>/dev/null"));
        for (unsigned long id; ids >> id;)
          if (Shell("xwininfo -tree -id " + Id(id)).find(" 442x416+0+") != std::string::npos) found = id;
        return found != 0;
      },
      20);
  return found;
}

// What the screen shows of a window's top-left w x h pixels (at most what
// the picture view's viewport shows), as packed RGB.
x11test::Rgb WindowPixels(unsigned long id, int w = 300, int h = 240) {
  const Rect r = Geometry(id);
  w = std::min(w, r.width);
  h = std::min(h, r.height);
  std::string rgb = Shell("xwd -root -silent | convert xwd:- -crop " + Num(w) + "x" + Num(h) + "+" + Num(r.x) + "+" +
                          Num(r.y) + " -depth 8 rgb:-");
  if (rgb.size() != static_cast<std::size_t>(w) * h * 3) return {};
  return {w, h, std::move(rgb)};
}

// Pixels of a (w x h at x, y) that differ from b (w x h at bx, by).
int Differing(const x11test::Rgb& a, int x, int y, const x11test::Rgb& b, int bx, int by, int w, int h) {
  if (x + w > a.width || y + h > a.height || bx + w > b.width || by + h > b.height) return w * h;
  int bad = 0;
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) bad += std::memcmp(a.At(x + i, y + j), b.At(bx + i, by + j), 3) != 0;
  return bad;
}

// The interactive program with its main window placed at a known spot.
class Glimmet {
 public:
  Glimmet(const std::string& configHome, int x, int y)
      : app_({"env", "XDG_CONFIG_HOME=" + configHome, GLIMMET_BINARY}) {
    main_ = MainWindowOf(app_.pid());
    if (!main_) return;
    Shell("xdotool windowmove --sync " + Id(main_) + " " + Num(x) + " " + Num(y));
    std::this_thread::sleep_for(800ms);
    client_ = FindInTree(Shell("xwininfo -tree -id " + Id(main_)), 442, 416).second;
  }
  bool ok() const { return main_ && client_.width; }
  unsigned long main() const { return main_; }
  pid_t pid() const { return app_.pid(); }
  const Rect& client() const { return client_; }

  // Design places in the client area, in pixels.
  void Click(int x, int y) {
    Shell("xdotool mousemove --sync " + Num(client_.x + x) + " " + Num(client_.y + y) + " click 1");
    std::this_thread::sleep_for(150ms);
  }
  void Mode(int index) { Click(18, 156 + 24 * index); }
  void Start() { Click(232, 340); }

  // The picture view's window when it holds a width x height picture.
  unsigned long Picture(int width, int height, int seconds = 5) {
    unsigned long found = 0;
    WaitUntil(
        [&] {
          found = FindInTree(Shell("xwininfo -tree -id " + Id(main_) + " 2>/dev/null"), width, height).first;
          return found != 0 && x11test::Viewable(main_);
        },
        seconds);
    std::this_thread::sleep_for(300ms);  // painted by then
    return found;
  }
  // Modes change while tracking is frozen: over an option button in its
  // frame the poll would capture that button, main window hidden.
  void SwitchMode(int index) {
    Start();
    Mode(index);
    Start();
  }

  // The selector: a shown window of the program covering the screen.
  unsigned long Selector(int seconds = 10) {
    unsigned long found = 0;
    WaitUntil(
        [&] {
          found = std::strtoul(Shell("xdotool search --onlyvisible --pid " + Num(app_.pid()) + " --name '^Form1$' "
                                     "2>/dev/null | head -n1").c_str(), nullptr, 10);
          return found && Geometry(found) == e2e::Screen();
        },
        seconds);
    return found;
  }

 private:
  x11test::Child app_;
  unsigned long main_ = 0;
  Rect client_;
};

void MoveTo(int x, int y) {
  Shell("xdotool mousemove --sync " + Num(x) + " " + Num(y));
  std::this_thread::sleep_for(500ms);  // two and a half poll ticks
}

class PointingTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (IsSkipped()) return;
    clock = x11test::Child({"xclock", "-geometry", "200x200+900+400", "-update", "3600"});
    clockId = std::strtoul(
        Shell("timeout 20 xdotool search --sync --onlyvisible --pid " + Num(clock.pid()) + " | head -n1").c_str(),
        nullptr, 10);
    ASSERT_NE(clockId, 0u);
    WaitUntil([&] { return Shell("xprop -id " + Id(clockId) + " _NET_FRAME_EXTENTS").find(" = ") != std::string::npos; });
    std::this_thread::sleep_for(300ms);
  }
  x11test::Child clock;
  unsigned long clockId = 0;
};

TEST_F(PointingTest, ObjectFormScreenAndFreezeWithTheMainWindowNeverInThePicture) {
  const auto term = Term(UniqueTitle("pointing"), "80x24+0+0");
  std::this_thread::sleep_for(300ms);
  const Rect clockClient = Geometry(clockId), clockFrame = FrameRect(clockId);
  const x11test::Rgb clear = x11test::XwdRoot();  // nothing of ours on screen yet

  // The main window covers the lower right of the clock.
  Glimmet app(config.path, 1000, 450);
  ASSERT_TRUE(app.ok());
  const x11test::Rgb covered = x11test::XwdRoot();
  const Rect over{app.client().x - clockFrame.x, 0, clockFrame.x + clockFrame.width - app.client().x,
                  clockFrame.height};
  ASSERT_GT(over.width, 20) << "the main window must overlap the clock for the test to mean anything";

  {
    SCOPED_TRACE("Object over the clock: its client window");
    app.Mode(2);
    app.Start();
    MoveTo(clockClient.x + 30, clockClient.y + 60);
    const unsigned long pic = app.Picture(clockClient.width, clockClient.height);
    ASSERT_NE(pic, 0u);
    const auto shown = WindowPixels(pic);
    ASSERT_FALSE(shown.pixels.empty());
    EXPECT_LT(Differing(shown, 0, 0, clear, clockClient.x, clockClient.y, shown.width, shown.height),
              shown.width * shown.height / 20);
  }
  {
    SCOPED_TRACE("Form over the clock: the framed top-level, main window hidden");
    app.SwitchMode(1);
    MoveTo(20, 200);  // the terminal first, then back onto the clock
    MoveTo(clockClient.x + 30, clockClient.y + 60);
    const unsigned long pic = app.Picture(clockFrame.width, clockFrame.height);
    ASSERT_NE(pic, 0u);
    const auto shown = WindowPixels(pic);
    ASSERT_FALSE(shown.pixels.empty());
    const int area = over.width * over.height;
    EXPECT_LT(Differing(shown, over.x, over.y, clear, clockFrame.x + over.x, clockFrame.y, over.width, over.height),
              area / 10)
        << "the part the main window covers shows the clock";
    EXPECT_GT(Differing(shown, over.x, over.y, covered, clockFrame.x + over.x, clockFrame.y, over.width, over.height),
              area / 2)
        << "and not the main window";
  }
  {
    SCOPED_TRACE("Screen: once per Start");
    app.SwitchMode(0);
    MoveTo(20, 200);
    const auto screen = e2e::Screen();
    const unsigned long pic = app.Picture(screen.width, screen.height);
    ASSERT_NE(pic, 0u);
    const auto first = WindowPixels(pic);
    // A new window at the top left; the pointer onto it redisplays the old picture.
    const auto cover = Term(UniqueTitle("cover"), "40x10+0+0", {"-rv"});
    MoveTo(100, 60);
    const auto again = WindowPixels(pic);
    EXPECT_EQ(Differing(first, 0, 0, again, 0, 0, 300, 240), 0);
    app.Start();  // Freeze
    app.Start();  // Start
    MoveTo(clockClient.x + 30, clockClient.y + 60);
    const unsigned long fresh = app.Picture(screen.width, screen.height);
    ASSERT_NE(fresh, 0u);
    EXPECT_GT(Differing(first, 0, 0, WindowPixels(fresh), 0, 0, 300, 240), 1000) << "the new Start captured anew";
  }
  {
    SCOPED_TRACE("Freeze keeps the picture");
    app.Start();  // Freeze
    app.Mode(2);
    const auto screen = e2e::Screen();
    const auto before = WindowPixels(app.Picture(screen.width, screen.height));
    MoveTo(clockClient.x + 30, clockClient.y + 60);
    MoveTo(20, 200);
    const unsigned long pic = app.Picture(screen.width, screen.height, 1);
    ASSERT_NE(pic, 0u);
    EXPECT_EQ(Differing(before, 0, 0, WindowPixels(pic), 0, 0, 300, 240), 0);
  }
}

TEST_F(PointingTest, AreaRunsDrawMoveAcceptAndCancelOnTheFrozenScreen) {
  const auto term = Term(UniqueTitle("area"), "80x24+0+0");
  std::this_thread::sleep_for(300ms);
  Glimmet app(config.path, 1000, 450);
  ASSERT_TRUE(app.ok());
  app.Mode(3);

  x11test::Rgb frozen;  // the selector's view of the screen
  auto run = [&](const std::function<void(unsigned long)>& act) {
    app.Start();
    const unsigned long selector = app.Selector();
    ASSERT_NE(selector, 0u) << "the selector did not cover the screen";
    std::this_thread::sleep_for(300ms);
    const x11test::Rgb view = x11test::XwdRoot();
    if (frozen.pixels.empty() || Differing(view, 0, 0, frozen, 0, 0, 8, 8) == 0) frozen = view;
    act(selector);
    ASSERT_TRUE(WaitUntil([&] { return !x11test::Viewable(selector); }, 5));
  };
  auto shown = [&](int w, int h) {
    const unsigned long pic = app.Picture(w, h);
    return pic ? WindowPixels(pic) : x11test::Rgb{};
  };

  {
    SCOPED_TRACE("a click gives the 36 x 36 square about it");
    run([](unsigned long) { Shell("xdotool mousemove --sync 300 300 click 1 sleep 0.2 key Return"); });
    const auto pic = shown(36, 36);
    ASSERT_FALSE(pic.pixels.empty());
    EXPECT_EQ(Differing(pic, 0, 0, frozen, 282, 282, 36, 36), 0);
    frozen = {};
  }
  {
    SCOPED_TRACE("the second run opens on the previous rectangle; a drag from (10, 10) to (50, 50)");
    run([](unsigned long selector) {
      const std::string tree = Shell("xwininfo -tree -id " + Id(selector));
      EXPECT_TRUE(std::regex_search(tree, std::regex(R"( 10x10\+\d+\+\d+ +\+277\+277)")))
          << "Node(0) at the previous corner\n" << tree;
      Shell("xdotool mousemove --sync 10 10 mousedown 1 mousemove 30 30 mousemove 50 50 mouseup 1 sleep 0.2 key Return");
    });
    const auto pic = shown(41, 41);
    ASSERT_FALSE(pic.pixels.empty());
    EXPECT_EQ(Differing(pic, 0, 0, frozen, 10, 10, 41, 41), 0);
  }
  {
    SCOPED_TRACE("Ctrl+Right moves the rectangle by one pixel");
    run([](unsigned long) { Shell("xdotool key ctrl+Right sleep 0.2 key Return"); });
    const auto pic = shown(41, 41);
    ASSERT_FALSE(pic.pixels.empty());
    EXPECT_EQ(Differing(pic, 0, 0, frozen, 11, 10, 41, 41), 0);
  }
  {
    SCOPED_TRACE("Escape keeps the old picture");
    run([](unsigned long) { Shell("xdotool mousemove --sync 600 600 click 1 sleep 0.2 key Escape"); });
    const auto pic = shown(41, 41);
    ASSERT_FALSE(pic.pixels.empty());
    EXPECT_EQ(Differing(pic, 0, 0, frozen, 11, 10, 41, 41), 0);
  }
}

}  // namespace
}  // namespace e2e
