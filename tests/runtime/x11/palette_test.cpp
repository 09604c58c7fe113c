// A 256-colour PseudoColor display with no window manager. The runtime
// keeps one connection per process, so the checks run in a child of this
// test binary pointed at a depth-8 server of its own.
#include <gtest/gtest.h>

#include <filesystem>

#include "capture/capture_bitmap.h"
#include "runtime/user32.h"
#include "x11_session.h"

using namespace runtime;
using namespace x11test;

namespace {
constexpr const char* kChildFlag = "GLIMMET_X11_DEPTH8_CHILD";
}

TEST(PaletteDisplay, CapturesThroughTheColormap) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display available";
  Child server;
  // Without MIT-SHM, so that the plain image request is the path taken.
  const std::string display = StartXvfb(server, "640x480x8", {"-extension", "MIT-SHM"});
  if (display.empty()) GTEST_SKIP() << "Xvfb is not available";
  Child child({"env", "DISPLAY=" + display, std::string(kChildFlag) + "=1", std::filesystem::read_symlink("/proc/self/exe").string(),
               "--gtest_filter=PaletteDisplayChild.*"});
  WaitUntil([&] { return child.Status().has_value(); }, 120);
  EXPECT_EQ(child.Status(), 0) << "run with " << kChildFlag << "=1 DISPLAY=" << display << " for details";
}

// The checks in the child of the test above.
static void PaletteChecks() {
  // A colour the default colormap does not hold yet: xterm allocates it.
  Xterm term(UniqueTitle("palette"), "30x6+40+30", {"-bg", "#3366cc", "-fg", "#ffcc00"}, false);

  // No window manager runs here: captions are found by walking the tree,
  // and a top-level's rectangle is its own (border included), no frame.
  EXPECT_EQ(FindWindowA(nullptr, term.title().c_str()), term.hwnd());
  RECT rc;
  ASSERT_TRUE(GetWindowRect(term.hwnd(), &rc));
  const std::string geometry = Shell("xwininfo -id " + std::to_string(term.id()) +
                                     " | awk '/Absolute upper-left X/{x=$4}/Absolute upper-left Y/{y=$4}"
                                     "/Width/{w=$2}/Height/{h=$2}/Border width/{b=$3}"
                                     "END{print x, y, x+w+2*b, y+h+2*b}'");
  EXPECT_EQ(geometry, std::to_string(rc.Left) + " " + std::to_string(rc.Top) + " " + std::to_string(rc.Right) + " " +
                          std::to_string(rc.Bottom) + "\n");

  const HDC screen = GetWindowDC(GetDesktopWindow());
  EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, RC_PALETTE);
  EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 256);
  PALETTEENTRY entries[256];
  ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, entries), 256u);
  EXPECT_EQ(GetSystemPaletteEntries(screen, 250, 256, entries), 6u);  // clipped to the colormap
  ReleaseDC(GetDesktopWindow(), screen);

  Picture shot;
  const Rgb root = Steady([&] { shot = capture::GrabScreen(); });
  ASSERT_TRUE(shot && !root.pixels.empty());
  const LOGPALETTE* palette = PaletteOf(shot.hPal());
  ASSERT_NE(palette, nullptr);
  bool hasBackground = false;
  for (const PALETTEENTRY& e : palette->palPalEntry)
    hasBackground |= e.peRed == 0x33 && e.peGreen == 0x66 && e.peBlue == 0xcc;
  EXPECT_TRUE(hasBackground);

  const Bitmap& b = *BitmapOf(shot.Handle());
  ASSERT_EQ(std::make_pair(b.width, b.height), std::make_pair(640, 480));
  EXPECT_EQ(Mismatches(b, root, 0, 0), 0);
  int background = 0;
  for (std::size_t i = 0; i < root.pixels.size(); i += 3) background += root.pixels.compare(i, 3, "\x33\x66\xcc") == 0;
  EXPECT_GT(background, 1000);  // the xterm is really there
}

namespace {
// Registered only in the child, so that it never shows as a test (skipped
// or not) of its own.
struct PaletteChild : testing::Test {
  void TestBody() override { PaletteChecks(); }
};
[[maybe_unused]] const bool childRegistered =
    std::getenv(kChildFlag) &&
    testing::RegisterTest("PaletteDisplayChild", "Checks", nullptr, nullptr, __FILE__, __LINE__,
                          []() -> testing::Test* { return new PaletteChild; });
}  // namespace
