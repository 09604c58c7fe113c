// Pointing at Glimmet's own windows, driven with xdotool as a user would:
// the picture on show and its size label stay as they are, in Object mode
// over the picture and over the option buttons in their frame, and in Form
// mode, whose root walk ends at the main window. Save still writes the
// picture that was taken of the foreign window.
#include <chrono>
#include <regex>
#include <thread>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

std::string Num(int v) { return std::to_string(v); }

// The screen's pixels of a rectangle, as packed RGB.
std::string ScreenPixels(const Rect& r) {
  return Shell("xwd -root -silent | convert xwd:- -crop " + Num(r.width) + "x" + Num(r.height) + "+" + Num(r.x) + "+" +
               Num(r.y) + " -depth 8 rgb:-");
}

// A window of that size in the tree below `top`: its absolute place, or an
// empty rectangle.
Rect FindInTree(unsigned long top, int width, int height) {
  const std::string tree = Shell("xwininfo -tree -id " + Id(top) + " 2>/dev/null");
  std::smatch m;
  if (!std::regex_search(tree, m, std::regex("0x[0-9a-f]+ .*\\s" + Num(width) + "x" + Num(height) +
                                             R"(\+-?\d+\+-?\d+ +\+(-?\d+)\+(-?\d+))")))
    return {};
  return {std::stoi(m[1]), std::stoi(m[2]), width, height};
}

void MoveTo(int x, int y) {
  Shell("xdotool mousemove --sync " + Num(x) + " " + Num(y));
  std::this_thread::sleep_for(700ms);  // three and a half poll ticks
}

using OwnWindowsTest = E2eTest;

TEST_F(OwnWindowsTest, PointingAtTheProgramsOwnWindowsKeepsThePictureAndSaveWorks) {
  const auto term = Term(UniqueTitle("foreign"), "60x16+40+60");
  std::this_thread::sleep_for(300ms);
  const Rect foreign = Geometry(term.id());

  x11test::Child app({"env", "XDG_CONFIG_HOME=" + config.path, GLIMMET_BINARY});
  const unsigned long main = MainWindowOf(app.pid());
  ASSERT_NE(main, 0u);
  Shell("xdotool windowmove --sync " + Id(main) + " 1000 450");
  std::this_thread::sleep_for(800ms);
  const Rect client = FindInTree(main, 442, 416);
  ASSERT_GT(client.width, 0);
  auto click = [&](int x, int y) {
    Shell("xdotool mousemove --sync " + Num(client.x + x) + " " + Num(client.y + y) + " click 1");
    std::this_thread::sleep_for(150ms);
  };
  auto start = [&] { click(232, 340); };
  const Rect label{client.x + 72, client.y + 328, 113, 17};

  // Object mode over the foreign terminal: its client window is the picture.
  click(18, 156 + 24 * 2);
  start();
  MoveTo(foreign.x + 40, foreign.y + 40);
  Rect picture;
  ASSERT_TRUE(WaitUntil([&] { return (picture = FindInTree(main, foreign.width, foreign.height)).width > 0; }, 5));
  std::this_thread::sleep_for(400ms);
  const Rect view{picture.x, picture.y, std::min(picture.width, 300), std::min(picture.height, 200)};
  const std::string shownPicture = ScreenPixels(view), shownLabel = ScreenPixels(label);
  ASSERT_EQ(shownPicture.size(), static_cast<std::size_t>(view.width) * view.height * 3);

  auto unchanged = [&](const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_TRUE(x11test::Viewable(main)) << "the main window stays shown";
    EXPECT_EQ(FindInTree(main, foreign.width, foreign.height).width, foreign.width) << "the picture keeps its size";
    EXPECT_TRUE(ScreenPixels(view) == shownPicture) << "the picture's pixels changed";
    EXPECT_TRUE(ScreenPixels(label) == shownLabel) << "the size label changed";
  };
  // Over the picture itself, then over the option buttons in their frame.
  MoveTo(picture.x + 20, picture.y + 20);
  unchanged("Object mode over the picture");
  MoveTo(client.x + 18, client.y + 156);
  MoveTo(client.x + 22, client.y + 156 + 24);
  unchanged("Object mode over the option buttons");

  // Form mode (switched while frozen): over the picture, the root walk ends
  // at the main window.
  start();
  click(18, 156 + 24 * 1);
  start();
  MoveTo(picture.x + 30, picture.y + 30);
  MoveTo(picture.x + 60, picture.y + 40);
  unchanged("Form mode over the picture");
  start();  // Freeze, so that the Save dialog's window is no target

  // Save writes the foreign window's picture.
  const std::string path = out / "kept.bmp";
  click(32, 52);
  Shell("timeout 10 xdotool search --sync --onlyvisible --name '^Save Bitmap$' >/dev/null && xdotool type " +
        Quote(path) + " && xdotool key Return");
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(path) && std::filesystem::file_size(path) > 0; }, 5));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(PictureSize(path), Size(foreign));
  EXPECT_TRUE(Shell("convert " + Quote(path) + " -crop " + Num(view.width) + "x" + Num(view.height) +
                    "+0+0 -depth 8 rgb:-") == shownPicture)
      << "the file holds the picture on show";
  Shell("xdotool windowactivate --sync " + Id(main) + " key --clearmodifiers alt+F4");
  EXPECT_TRUE(WaitUntil([&] { return app.Status().has_value(); }, 5));
}

}  // namespace
}  // namespace e2e
