// Capture by pointing and the area selector, driven with xdotool as a user
// would: Object and Form over xclock, Screen once per Start, Freeze, and
// area runs with a drag, a key move, Enter and Escape. Pictures are read
// back from the picture view's window on the X server, and the last one
// through the Save command as well.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <regex>
#include <thread>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

std::string Num(int v) { return std::to_string(v); }

// A window of that size in an xwininfo tree listing: its id and absolute
// place, or a zero id.
std::pair<unsigned long, Rect> FindInTree(const std::string& tree, int width, int height) {
  std::smatch m;
  if (!std::regex_search(tree, m, std::regex("(0x[0-9a-f]+) .*\\s" + Num(width) + "x" + Num(height) +
                                             R"(\+-?\d+\+-?\d+ +\+(-?\d+)\+(-?\d+))")))
    return {0, {}};
  return {std::stoul(m[1], nullptr, 16), {std::stoi(m[2]), std::stoi(m[3]), width, height}};
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

// Pixels of the w x h block at (x, y) that differ from its top left one.
int OffColour(const x11test::Rgb& a, int x, int y, int w, int h) {
  int bad = 0;
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) bad += Differing(a, x + i, y + j, a, x, y, 1, 1);
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
  const Rect& client() const { return client_; }
  std::string Tree() const { return Shell("xwininfo -tree -id " + Id(main_) + " 2>/dev/null"); }

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
  // The picture as the Save command writes it under path (a name not
  // ending in ".jpg" gives a bitmap, pixel for pixel), as packed RGB.
  x11test::Rgb Saved(const std::string& path) {
    Click(32, 52);  // Save
    Shell("timeout 10 xdotool search --sync --onlyvisible --name '^Save Bitmap$' >/dev/null && xdotool type " +
          Quote(path) + " && xdotool key Return");
    WaitUntil([&] { return !Shell("test -s " + Quote(path) + " && echo y").empty(); }, 5);
    int w = 0, h = 0;
    std::sscanf(Shell("identify -format '%w %h' " + Quote(path) + " 2>/dev/null").c_str(), "%d %d", &w, &h);
    std::string rgb = Shell("convert " + Quote(path) + " -depth 8 rgb:- 2>/dev/null");
    if (w <= 0 || rgb.size() != static_cast<std::size_t>(w) * h * 3) return {};
    return {w, h, std::move(rgb)};
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

using PointingTest = E2eTest;

TEST_F(PointingTest, ObjectFormScreenAndFreezeWithTheMainWindowNeverInThePicture) {
  x11test::Child clock({"xclock", "-geometry", "200x200+900+400", "-update", "3600"});
  const unsigned long clockId = std::strtoul(
      Shell("timeout 20 xdotool search --sync --onlyvisible --pid " + Num(clock.pid()) + " | head -n1").c_str(), nullptr, 10);
  ASSERT_NE(clockId, 0u);
  WaitUntil([&] { return Shell("xprop -id " + Id(clockId) + " _NET_FRAME_EXTENTS").find(" = ") != std::string::npos; });
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

  // The picture once the view holds a w x h one (empty when it never does).
  unsigned long pic = 0;
  auto shown = [&](int w, int h, int seconds = 5) {
    pic = app.Picture(w, h, seconds);
    return pic ? WindowPixels(pic) : x11test::Rgb{};
  };
  auto onTheClock = [&] { MoveTo(clockClient.x + 30, clockClient.y + 60); };
  const Rect screen = e2e::Screen();

  // Object over the clock: its client window.
  app.Mode(2);
  app.Start();
  onTheClock();
  auto seen = shown(clockClient.width, clockClient.height);
  EXPECT_LT(Differing(seen, 0, 0, clear, clockClient.x, clockClient.y, seen.width, seen.height),
            seen.width * seen.height / 20);

  // Form over the clock: the framed top-level, main window hidden.
  app.SwitchMode(1);
  MoveTo(20, 200);  // the terminal first, then back onto the clock
  onTheClock();
  seen = shown(clockFrame.width, clockFrame.height);
  const int area = over.width * over.height;
  EXPECT_LT(Differing(seen, over.x, over.y, clear, clockFrame.x + over.x, clockFrame.y, over.width, over.height), area / 10)
      << "the part the main window covers shows the clock";
  EXPECT_GT(Differing(seen, over.x, over.y, covered, clockFrame.x + over.x, clockFrame.y, over.width, over.height), area / 2)
      << "and not the main window";

  // Screen: once per Start; a new window under the pointer redisplays the old picture.
  app.SwitchMode(0);
  MoveTo(20, 200);
  const auto first = shown(screen.width, screen.height);
  const auto cover = Term(UniqueTitle("cover"), "40x10+0+0", {"-rv"});
  MoveTo(100, 60);
  EXPECT_EQ(Differing(first, 0, 0, WindowPixels(pic), 0, 0, 300, 240), 0);
  app.Start();  // Freeze
  app.Start();  // Start
  onTheClock();
  const auto fresh = shown(screen.width, screen.height);
  EXPECT_GT(Differing(first, 0, 0, fresh, 0, 0, 300, 240), 1000) << "the new Start captured anew";

  // Freeze keeps the picture.
  app.Start();  // Freeze
  app.Mode(2);
  onTheClock();
  MoveTo(20, 200);
  EXPECT_EQ(Differing(fresh, 0, 0, shown(screen.width, screen.height, 1), 0, 0, 300, 240), 0);
}

// The bars step the picture by 10 pixels an arrow and by the viewport a
// page, from the first picture on.
TEST_F(PointingTest, TheFirstPictureScrollsTenPixelsAnArrowAndAViewportAPage) {
  Glimmet app(config.path, 1000, 450);
  ASSERT_TRUE(app.ok());
  const Rect screen = e2e::Screen();
  app.Start();  // Screen is the mode the window opens with
  MoveTo(20, 200);
  const unsigned long pic = app.Picture(screen.width, screen.height);
  ASSERT_NE(pic, 0u);
  app.Start();  // Freeze
  // The picture's place in the viewport and the bars' places on the screen.
  const std::string size = Num(screen.width) + "x" + Num(screen.height);
  auto offset = [&] {
    std::smatch m;
    const std::string tree = app.Tree();
    if (!std::regex_search(tree, m, std::regex(" " + size + R"(\+(-?\d+)\+(-?\d+) )"))) return std::pair{1, 1};
    return std::pair{std::stoi(m[1]), std::stoi(m[2])};
  };
  const std::string tree = app.Tree();
  // Both bars show: the viewport is the frame less a bar each way and the
  // frame's inset (328 x 258 pixels).
  const Rect hBar = FindInTree(tree, 328, 17).second, vBar = FindInTree(tree, 19, 258).second;
  ASSERT_TRUE(hBar.width && vBar.width) << tree;
  ASSERT_EQ(offset(), std::make_pair(0, 0));
  auto click = [&](int x, int y, std::pair<int, int> want) {
    Shell("xdotool mousemove --sync " + Num(x) + " " + Num(y) + " click 1");
    return WaitUntil([&] { return offset() == want; }, 3);
  };
  EXPECT_TRUE(click(hBar.x + hBar.width - 6, hBar.y + 8, {-10, 0})) << "right arrow";
  EXPECT_TRUE(click(vBar.x + 9, vBar.y + vBar.height - 6, {-10, -10})) << "down arrow";
  EXPECT_TRUE(click(hBar.x + hBar.width - 30, hBar.y + 8, {-338, -10})) << "trough right of the thumb";
  EXPECT_TRUE(click(vBar.x + 9, vBar.y + vBar.height - 30, {-338, -268})) << "trough below the thumb";
  EXPECT_TRUE(click(hBar.x + 6, hBar.y + 8, {-328, -268})) << "left arrow";
  EXPECT_EQ(offset(), std::make_pair(-328, -268));
}

TEST_F(PointingTest, AreaRunsDrawMoveAcceptAndCancelOnTheFrozenScreen) {
  const auto term = Term(UniqueTitle("area"), "80x24+0+0");
  std::this_thread::sleep_for(300ms);
  Glimmet app(config.path, 1000, 450);
  ASSERT_TRUE(app.ok());
  app.Mode(3);

  // The selector's view of the screen, taken as it opens on a rectangle
  // drawn away from the pictures compared with it.
  x11test::Rgb frozen;
  auto run = [&](const std::function<void(unsigned long)>& act) {
    app.Start();
    const unsigned long selector = app.Selector();
    ASSERT_NE(selector, 0u) << "the selector did not cover the screen";
    std::this_thread::sleep_for(300ms);
    const x11test::Rgb view = x11test::XwdRoot();
    if (frozen.pixels.empty()) frozen = view;
    act(selector);
    ASSERT_TRUE(WaitUntil([&] { return !x11test::Viewable(selector); }, 5));
  };
  // Each run: what the user does in the selector, then the picture's size
  // and where on the frozen screen its pixels come from. Handles are pressed
  // at their centre, where the outline crosses them.
  const struct {
    const char* what;
    const char* keys;
    int width, height, x, y;
  } runs[] = {
      {"a click gives the 36 x 36 square about it", "mousemove --sync 300 300 click 1 sleep 0.2 key Return", 36, 36, 282, 282},
      {"a drag from (10, 10) to (50, 50), opened on the previous rectangle",
       "mousemove --sync 10 10 mousedown 1 mousemove 30 30 mousemove 50 50 mouseup 1 sleep 0.2 key Return", 41, 41, 10, 10},
      {"Ctrl+Right moves the rectangle by one pixel", "key ctrl+Right sleep 0.2 key Return", 41, 41, 11, 10},
      {"Escape keeps the old picture", "mousemove --sync 600 600 click 1 sleep 0.2 key Escape", 41, 41, 11, 10},
      {"a drag draws (530, 520) - (560, 560)",
       "mousemove --sync 530 520 mousedown 1 mousemove 545 540 mousemove 560 560 mouseup 1 sleep 0.2 key Return", 31, 41,
       530, 520},
      {"the bottom right handle, pressed on its corner pixel and dragged, resizes",
       "mousemove --sync 560 560 mousedown 1 mousemove 570 575 mousemove 580 590 mouseup 1", 56, 76, 530, 520},
      {"a right press on the top left handle's centre changes nothing", "mousemove --sync 530 520 click 3", 56, 76, 530,
       520},
  };
  for (const auto& r : runs) {
    SCOPED_TRACE(r.what);
    run([&](unsigned long selector) {
      if (r.x == 10) {
        const std::string tree = Shell("xwininfo -tree -id " + Id(selector));
        EXPECT_TRUE(std::regex_search(tree, std::regex(R"( 10x10\+\d+\+\d+ +\+277\+277)")))
            << "Node(0) at the previous corner\n" << tree;
      }
      Shell("xdotool " + std::string(r.keys));
      if (r.width != 56) return;
      // The handles lie whole above the outline: each one's inside is one
      // colour, though the outline runs through its middle.
      std::this_thread::sleep_for(300ms);
      const x11test::Rgb view = x11test::XwdRoot();
      for (const auto& [cx, cy] : {std::pair{530, 520}, {585, 520}, {585, 595}, {530, 595}})
        EXPECT_EQ(OffColour(view, cx - 4, cy - 4, 8, 8), 0) << "the handle at (" << cx << ", " << cy << ")";
      Shell("xdotool sleep 0.2 key Return");
    });
    const unsigned long pic = app.Picture(r.width, r.height);
    ASSERT_NE(pic, 0u);
    EXPECT_EQ(Differing(WindowPixels(pic), 0, 0, frozen, r.x, r.y, r.width, r.height), 0);
    if (r.width == 36) frozen = {};
  }
  // The last picture kept, as Save writes it.
  const x11test::Rgb saved = app.Saved(out / "area.bmp");
  ASSERT_EQ(std::make_pair(saved.width, saved.height), std::make_pair(56, 76));
  EXPECT_EQ(Differing(saved, 0, 0, frozen, 530, 520, 56, 76), 0);
}

}  // namespace
}  // namespace e2e
