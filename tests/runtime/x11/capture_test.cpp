// Captures compared pixel for pixel with what the X server itself shows.
#include <gtest/gtest.h>

#include "capture/capture_bitmap.h"
#include "runtime/platform.h"
#include "runtime/user32.h"
#include "runtime/x11/connection.h"
#include "x11_session.h"

using namespace runtime;
using namespace x11test;

namespace {

// Whether address lies in a mapping of this process whose name holds what.
bool InMapping(const void* address, const std::string& what) {
  std::istringstream maps(Shell("grep " + Quote(what) + " /proc/" + std::to_string(getpid()) + "/maps"));
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
  // The server's segment is gone; the picture holds its rows in a file in
  // memory, which it lets go of with its last reference.
  EXPECT_EQ(Shell("grep -c SYSV /proc/" + std::to_string(getpid()) + "/maps"), "0\n");
  const void* bits = Pixels(shot).bits;
  EXPECT_TRUE(InMapping(bits, "memfd:"));
  shot = Picture();
  EXPECT_FALSE(InMapping(bits, "memfd:"));
}

// Where descriptors cannot be passed to the server, a System V segment
// carries the screen instead, with the same result.
TEST(Capture, SystemVSegmentWhereDescriptorsCannotTravel) {
  REQUIRE_DESKTOP();
  x11::Connection* c = x11::Connection::Get();
  ASSERT_TRUE(c && c->hasShm());
  c->disableShmFd();
  Xterm term(UniqueTitle("sysv"), "60x12+300+200", {"-e", "sh", "-c", "ls -l /; exec sleep 60"});
  ASSERT_NE(term.id(), 0u);
  Picture shot;
  const Rgb root = Steady([&] { shot = capture::GrabScreen(); });
  ASSERT_TRUE(shot);
  EXPECT_EQ(Mismatches(Pixels(shot), root, 0, 0), 0);
  EXPECT_TRUE(c->hasShm());
  EXPECT_TRUE(InMapping(Pixels(shot).bits, "memfd:"));
  EXPECT_EQ(Shell("grep -c SYSV /proc/" + std::to_string(getpid()) + "/maps"), "0\n");  // handed back
}

// A whole copy of a screen capture into a DIB section of the same layout
// maps the capture's pages instead of copying them; each side still sees
// only its own writes.
TEST(Capture, CopiesOfACaptureShareItsPagesUntilEitherSideWrites) {
  REQUIRE_DESKTOP();
  Xterm term(UniqueTitle("share"), "60x12+100+100", {"-e", "sh", "-c", "ls -l /; exec sleep 60"});
  ASSERT_NE(term.id(), 0u);
  Picture shot;
  const Rgb root = Steady([&] { shot = capture::GrabScreen(); });
  ASSERT_TRUE(shot);
  const HDC src = CreateCompatibleDC(0), dst = CreateCompatibleDC(0);
  BITMAPINFOHEADER header;
  header.biSize = 40, header.biWidth = 1024, header.biHeight = 768, header.biPlanes = 1, header.biBitCount = 24;
  std::uint8_t* bits = nullptr;
  const HBITMAP dib = CreateDIBSection(dst, &header, DIB_RGB_COLORS, &bits, 0, 0);
  ASSERT_NE(dib, 0);
  const HGDIOBJ oldSrc = SelectObject(src, shot.Handle()), oldDst = SelectObject(dst, dib);
  ASSERT_TRUE(BitBlt(dst, 0, 0, 1024, 768, src, 0, 0, SRCCOPY));
  EXPECT_EQ(BitmapOf(dib)->bits, bits);  // the caller's pointer stays good
  EXPECT_TRUE(InMapping(bits, "memfd:"));
  EXPECT_EQ(Mismatches(*BitmapOf(dib), root, 0, 0), 0);

  // Written through the pointer: the picture keeps the screen.
  std::fill(bits, bits + 3 * 1024 * 10, 0x5a);
  EXPECT_EQ(Mismatches(Pixels(shot), root, 0, 0), 0);
  // Drawn into by GDI: the DIB keeps what it had.
  const HBITMAP gray = CreateCompatibleBitmap(0, 1024, 768);
  const HDC grayDC = CreateCompatibleDC(0);
  const HGDIOBJ oldGray = SelectObject(grayDC, gray);
  ASSERT_TRUE(BitBlt(src, 0, 0, 1024, 768, grayDC, 0, 0, SRCCOPY));
  EXPECT_EQ(Mismatches(Pixels(shot), Rgb{}, 0, 0), 0);
  EXPECT_EQ(BitmapOf(dib)->Row(767)[0], 0x5a);
  EXPECT_EQ(Mismatches(*BitmapOf(dib), root, 0, 0), 1024 * 10);

  SelectObject(grayDC, oldGray);
  SelectObject(src, oldSrc);
  SelectObject(dst, oldDst);
  DeleteDC(grayDC);
  DeleteObject(gray);
  DeleteObject(dib);
  DeleteDC(src);
  DeleteDC(dst);
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
