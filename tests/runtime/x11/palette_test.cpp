// A 256-colour PseudoColor display. The runtime keeps one connection per
// process, so the checks run in a child of this test binary pointed at a
// depth-8 server of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "capture/capture_bitmap.h"
#include "runtime/gdi.h"
#include "runtime/user32.h"
#include "x11_session.h"

using namespace runtime;

namespace {

constexpr const char* kChildFlag = "GLIMMET_X11_DEPTH8_CHILD";

std::string SelfPath() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

TEST(PaletteDisplay, CapturesThroughTheColormap) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display available";
  // Without MIT-SHM, so that the plain image request is the path taken.
  auto server = x11test::XServer::Start("640x480x8", {"-extension", "MIT-SHM"});
  if (!server) GTEST_SKIP() << "Xvfb is not available";
  x11test::Child child({SelfPath(), "--gtest_filter=PaletteDisplayChild.*"},
                       {{"DISPLAY", server->display()}, {kChildFlag, "1"}});
  EXPECT_EQ(child.Wait(), 0) << "run with " << kChildFlag << "=1 DISPLAY=" << server->display()
                             << " for details";
}

// Runs only as the child of the test above.
TEST(PaletteDisplayChild, Checks) {
  if (!std::getenv(kChildFlag)) GTEST_SKIP() << "runs inside PaletteDisplay only";
  // A colour the default colormap does not hold yet: xterm allocates it.
  x11test::Xterm term(x11test::UniqueTitle("palette"), "30x6+40+30", {"-bg", "#3366cc", "-fg", "#ffcc00"},
                       false);
  ASSERT_NE(term.hwnd(), 0);

  const HDC screen = GetWindowDC(GetDesktopWindow());
  EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, RC_PALETTE);
  EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 256);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 8);
  PALETTEENTRY entries[256];
  ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, entries), 256u);
  EXPECT_EQ(GetSystemPaletteEntries(screen, 250, 256, entries), 6u);  // clipped to the colormap
  ReleaseDC(GetDesktopWindow(), screen);

  Picture shot;
  x11test::Rgb root;
  for (int attempt = 0; attempt < 20 && root.pixels.empty(); ++attempt) {
    const x11test::Rgb before = x11test::XwdRoot();
    shot = capture::GrabScreen();
    const x11test::Rgb after = x11test::XwdRoot();
    if (before.pixels == after.pixels) root = before;
  }
  ASSERT_FALSE(root.pixels.empty());
  ASSERT_TRUE(shot);
  ASSERT_NE(shot.hPal(), 0);
  const LOGPALETTE* palette = PaletteOf(shot.hPal());
  ASSERT_NE(palette, nullptr);
  bool hasBackground = false;
  for (const PALETTEENTRY& e : palette->palPalEntry)
    hasBackground |= e.peRed == 0x33 && e.peGreen == 0x66 && e.peBlue == 0xcc;
  EXPECT_TRUE(hasBackground);

  const Bitmap& b = *BitmapOf(shot.Handle());
  ASSERT_EQ(b.width, 640);
  ASSERT_EQ(b.height, 480);
  int bad = 0, background = 0;
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const std::uint8_t* p = b.Row(y) + x * 4;
      const std::uint8_t* want = root.At(x, y);
      bad += p[2] != want[0] || p[1] != want[1] || p[0] != want[2];
      background += p[2] == 0x33 && p[1] == 0x66 && p[0] == 0xcc;
    }
  EXPECT_EQ(bad, 0);
  EXPECT_GT(background, 1000);  // the xterm is really there
}
