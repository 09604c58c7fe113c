// Captures compared pixel for pixel with what the X server itself shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "capture/capture_bitmap.h"
#include "runtime/gdi.h"
#include "runtime/platform.h"
#include "runtime/user32.h"
#include "x11_session.h"

using namespace runtime;
using x11test::Rgb;
using x11test::Shell;
using x11test::Xterm;

namespace {

// Counts the pixels of bitmap b that differ from the root at (rootX, rootY)
// onwards; a root pixel off the screen must be black.
int Mismatches(const Bitmap& b, const Rgb& root, int rootX, int rootY) {
  const int bytes = b.bitsPixel / 8;
  int bad = 0;
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const std::uint8_t* p = b.Row(y) + x * bytes;
      const int rx = rootX + x, ry = rootY + y;
      const bool on = rx >= 0 && ry >= 0 && rx < root.width && ry < root.height;
      const std::uint8_t black[3] = {0, 0, 0};
      const std::uint8_t* want = on ? root.At(rx, ry) : black;
      if (p[2] != want[0] || p[1] != want[1] || p[0] != want[2]) ++bad;
    }
  return bad;
}

// Runs capture while the screen holds still (the same xwd before and after)
// and returns the screen it saw.
template <typename Capture>
Rgb Steady(Capture capture) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    Rgb before = x11test::XwdRoot();
    capture();
    Rgb after = x11test::XwdRoot();
    if (!before.pixels.empty() && before.pixels == after.pixels) return before;
  }
  ADD_FAILURE() << "the screen never held still";
  return {};
}

// Whether address lies in a System V shared-memory mapping of this process.
bool InSharedMemory(const void* address) {
  const auto a = reinterpret_cast<std::uintptr_t>(address);
  std::istringstream maps(Shell("cat /proc/" + std::to_string(getpid()) + "/maps"));
  for (std::string line; std::getline(maps, line);) {
    std::uintptr_t from = 0, to = 0;
    if (std::sscanf(line.c_str(), "%lx-%lx", &from, &to) == 2 && a >= from && a < to)
      return line.find("SYSV") != std::string::npos;
  }
  return false;
}

const Bitmap& Pixels(const Picture& p) {
  static const Bitmap none;
  const Bitmap* b = BitmapOf(p.Handle());
  return b ? *b : none;
}

}  // namespace

TEST(Capture, ScreenEqualsWhatTheServerShows) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("screen"), "60x12+100+100", {"-e", "sh", "-c", "ls -l /; exec sleep 60"});
  ASSERT_NE(term.hwnd(), 0);
  Picture shot;
  const Rgb root = Steady([&] { shot = capture::GrabScreen(); });
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot.hPal(), 0);  // true colour: no palette
  ASSERT_EQ(Pixels(shot).width, 1024);
  ASSERT_EQ(Pixels(shot).height, 768);
  EXPECT_EQ(Mismatches(Pixels(shot), root, 0, 0), 0);
  // The picture owns the very segment the server wrote into, and lets go of
  // it with its last reference.
  const void* bits = Pixels(shot).bits;
  EXPECT_TRUE(InSharedMemory(bits));
  shot = Picture();
  EXPECT_FALSE(InSharedMemory(bits));
}

TEST(Capture, WindowCoversItsFrameAndClientAreaItsInside) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("window"), "50x10+200+150", {"-e", "sh", "-c", "echo hello; exec sleep 60"});
  ASSERT_NE(term.hwnd(), 0);
  RECT rc;
  ASSERT_TRUE(GetWindowRect(term.hwnd(), &rc));
  Picture whole;
  Bitmap client;
  client.width = 60;
  client.height = 40;
  const Rgb root = Steady([&] {
    whole = capture::GrabWindow(term.hwnd());
    client.bits = nullptr;
    client.storage.reset();
    ASSERT_TRUE(platform::ReadWindowPixels(term.hwnd(), false, 3, 4, 60, 40, client, 0, 0));
  });
  ASSERT_TRUE(whole);
  EXPECT_EQ(Pixels(whole).width, rc.Right - rc.Left);
  EXPECT_EQ(Pixels(whole).height, rc.Bottom - rc.Top);
  EXPECT_EQ(Mismatches(Pixels(whole), root, rc.Left, rc.Top), 0);

  const std::string geometry = Shell("xwininfo -id " + std::to_string(term.hwnd()) +
                                   " | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} END{print x, y}'");
  int cx = 0, cy = 0;
  std::sscanf(geometry.c_str(), "%d %d", &cx, &cy);
  EXPECT_EQ(Mismatches(client, root, cx + 3, cy + 4), 0);
}

TEST(Capture, PixelsOffTheScreenAreBlack) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("edge"), "60x12+100+100");
  ASSERT_NE(term.hwnd(), 0);
  Shell("xdotool windowmove " + std::to_string(term.hwnd()) + " -80 -30");
  RECT rc;
  ASSERT_TRUE(x11test::WaitUntil([&] { return GetWindowRect(term.hwnd(), &rc) && rc.Left < 0 && rc.Top < 0; }));

  Picture window, corner, beyond;
  const Rgb root = Steady([&] {
    window = capture::GrabWindow(term.hwnd());
    corner = capture::GrabArea(GetDesktopWindow(), -7, -5, 40, 30);
    beyond = capture::GrabArea(GetDesktopWindow(), 1000, 750, 50, 40);
  });
  ASSERT_TRUE(window);
  EXPECT_EQ(Mismatches(Pixels(window), root, rc.Left, rc.Top), 0);
  EXPECT_EQ(Mismatches(Pixels(corner), root, -7, -5), 0);
  EXPECT_EQ(Mismatches(Pixels(beyond), root, 1000, 750), 0);
  // Not all black by accident: the part on the screen shows the window.
  EXPECT_GT(Mismatches(Pixels(window), Rgb{}, rc.Left, rc.Top), 0);
}

TEST(Capture, IntoABottomUpDibSectionAndAnUnscreenedRectangle) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("dib"), "40x8+850+20");
  ASSERT_NE(term.hwnd(), 0);
  const HDC screen = GetDC(0);
  const HDC mem = CreateCompatibleDC(screen);
  BITMAPINFOHEADER header;
  header.biSize = 40;
  header.biWidth = 300;
  header.biHeight = 200;  // bottom-up
  header.biPlanes = 1;
  header.biBitCount = 24;
  std::uint8_t* bits = nullptr;
  const HBITMAP dib = CreateDIBSection(mem, &header, DIB_RGB_COLORS, &bits, 0, 0);
  const HGDIOBJ previous = SelectObject(mem, dib);
  const Rgb root = Steady([&] {
    // Only the right half is filled, from a rectangle partly beyond the right edge.
    ASSERT_TRUE(BitBlt(mem, 150, 0, 150, 200, screen, 900, 10, SRCCOPY));
  });
  const Bitmap& b = *BitmapOf(dib);
  int bad = 0, untouched = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      const std::uint8_t* p = b.Row(y) + x * 3;
      if (x < 150) {
        untouched += p[0] == 0 && p[1] == 0 && p[2] == 0;
        continue;
      }
      const int rx = 900 + x - 150, ry = 10 + y;
      const std::uint8_t black[3] = {0, 0, 0};
      const std::uint8_t* want = rx < 1024 ? root.At(rx, ry) : black;
      bad += p[2] != want[0] || p[1] != want[1] || p[0] != want[2];
    }
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(untouched, 150 * 200);
  SelectObject(mem, previous);
  DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(0, screen);
}

TEST(Capture, AVanishedWindowGivesNoBitmap) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("gone"));
  const HWND hwnd = term.hwnd();
  ASSERT_NE(hwnd, 0);
  term.Close();
  ASSERT_TRUE(x11test::WaitUntil([&] { return !IsWindow(hwnd); }));
  EXPECT_FALSE(capture::GrabWindow(hwnd));
  EXPECT_FALSE(capture::GrabArea(hwnd, 0, 0, 20, 20));
  Bitmap b;
  b.width = b.height = 4;
  EXPECT_FALSE(platform::ReadWindowPixels(hwnd, true, 0, 0, 4, 4, b, 0, 0));
  EXPECT_EQ(LiveGdiObjects(), 0u);
}
