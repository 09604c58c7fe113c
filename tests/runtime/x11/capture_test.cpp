// Captures compared pixel for pixel with what the X server itself shows.
#include <gtest/gtest.h>

#include "capture/capture_bitmap.h"
#include "runtime/platform.h"
#include "runtime/user32.h"
#include "x11_session.h"

using namespace runtime;
using namespace x11test;

namespace {

// Whether address lies in a System V shared-memory mapping of this process.
bool InSharedMemory(const void* address) {
  std::istringstream maps(Shell("grep SYSV /proc/" + std::to_string(getpid()) + "/maps"));
  for (std::string line; std::getline(maps, line);) {
    std::uintptr_t from = 0, to = 0;
    std::sscanf(line.c_str(), "%lx-%lx", &from, &to);
    if (reinterpret_cast<std::uintptr_t>(address) - from < to - from) return true;
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
  Xterm term(UniqueTitle("screen"), "60x12+100+100", {"-e", "sh", "-c", "ls -l /; exec sleep 60"});
  ASSERT_NE(term.id(), 0u);
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
  Xterm term(UniqueTitle("window"), "50x10+200+150", {"-e", "sh", "-c", "echo hello; exec sleep 60"});
  ASSERT_NE(term.id(), 0u);
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
  const Rect inside = Geometry(term.id());
  EXPECT_EQ(Mismatches(client, root, inside.x + 3, inside.y + 4), 0);
}

TEST(Capture, PixelsOffTheScreenAreBlack) {
  REQUIRE_DESKTOP();
  Xterm term(UniqueTitle("edge"), "60x12+100+100");
  ASSERT_NE(term.id(), 0u);
  Shell("xdotool windowmove " + std::to_string(term.id()) + " -80 -30");
  RECT rc;
  ASSERT_TRUE(WaitUntil([&] { return GetWindowRect(term.hwnd(), &rc) && rc.Left < 0 && rc.Top < 0; }));

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
  Xterm term(UniqueTitle("dib"), "40x8+850+20");
  ASSERT_NE(term.id(), 0u);
  const HDC screen = GetDC(0);
  const HDC mem = CreateCompatibleDC(screen);
  BITMAPINFOHEADER header;
  header.biSize = 40, header.biWidth = 300, header.biHeight = 200, header.biPlanes = 1, header.biBitCount = 24;
  std::uint8_t* bits = nullptr;
  const HBITMAP dib = CreateDIBSection(mem, &header, DIB_RGB_COLORS, &bits, 0, 0);
  const HGDIOBJ previous = SelectObject(mem, dib);
  // Only the right half of the bottom-up DIB is filled, from a rectangle
  // partly beyond the right edge of the screen.
  const Rgb root = Steady([&] { ASSERT_TRUE(BitBlt(mem, 150, 0, 150, 200, screen, 900, 10, SRCCOPY)); });
  Bitmap left = *BitmapOf(dib), right = left;
  left.width = right.width = 150;
  right.bits += 150 * 3;
  EXPECT_EQ(Mismatches(right, root, 900, 10), 0);
  EXPECT_EQ(Mismatches(left, Rgb{}, 0, 0), 0);  // untouched: black
  SelectObject(mem, previous);
  DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(0, screen);
}
