// Captures compared pixel for pixel with what the X server itself shows.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "capture/capture_bitmap.h"
#include "runtime/picture.h"
#include "runtime/platform.h"
#include "runtime/user32.h"
#include "runtime/x11/connection.h"
#include "x11_session.h"

using namespace runtime;
using namespace x11test;
using testshell::ReadFile;
using testshell::TempDir;

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
// The size of the file mapped at address, found among this process's open
// descriptors by the inode that /proc/PID/maps gives; -1 when none is.
long long MappedFileSize(const void* address) {
  std::istringstream maps(Shell("cat /proc/" + std::to_string(getpid()) + "/maps"));
  for (std::string line; std::getline(maps, line);) {
    std::uintptr_t from = 0, to = 0;
    unsigned long long inode = 0;
    std::sscanf(line.c_str(), "%lx-%lx %*s %*s %*s %llu", &from, &to, &inode);
    if (reinterpret_cast<std::uintptr_t>(address) - from >= to - from) continue;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
      struct stat st {};
      if (stat(fd.path().c_str(), &st) == 0 && st.st_ino == inode) return st.st_size;
    }
  }
  return -1;
}
bool SysvAttached() { return Shell("grep -c SYSV /proc/" + std::to_string(getpid()) + "/maps") != "0\n"; }

const Bitmap& Pixels(const Picture& p) { return *BitmapOf(p.Handle()); }

// A 24-bit DIB section of w x h pixels, selected into a fresh memory DC.
struct Dib {
  HDC dc = CreateCompatibleDC(0);
  std::uint8_t* bits = nullptr;
  HBITMAP bitmap;
  HGDIOBJ old;
  Dib(int w, int h) {
    BITMAPINFOHEADER header;
    header.biSize = 40, header.biWidth = w, header.biHeight = h, header.biPlanes = 1, header.biBitCount = 24;
    bitmap = CreateDIBSection(dc, &header, DIB_RGB_COLORS, &bits, 0, 0);
    old = SelectObject(dc, bitmap);
  }
  ~Dib() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
};

}  // namespace

// The screen is read through a memory file the server writes, or through
// a System V segment where descriptors cannot travel; each way the pixels
// are the server's, held in a memory file of exactly the 24-bit rows. A
// whole copy into a DIB section of the same layout is read from that file
// into the section's own memory, and the two sides then see only their own
// writes. Pixels written into the picture by any means are in its file, so
// the copies and the bitmap files made after that show them.
TEST(Capture, ScreenEqualsWhatTheServerShowsAndCopiesAreTheirOwn) {
  REQUIRE_DESKTOP();
  Xterm term(UniqueTitle("screen"), "60x12+100+100", {"-e", "sh", "-c", "ls -l /; exec sleep 60"});
  x11::Connection* c = x11::Connection::Get();
  ASSERT_TRUE(c && c->hasShm());
  Picture shot;
  for (const bool sysv : {false, true}) {
    SCOPED_TRACE(sysv ? "System V" : "memory file");
    if (sysv) c->disableShmFd();
    const Rgb root = Steady([&] { shot = capture::GrabScreen(); });
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot.hPal(), 0);  // true colour: no palette
    ASSERT_EQ(std::make_pair(Pixels(shot).width, Pixels(shot).height), std::make_pair(1024, 768));
    EXPECT_EQ(Mismatches(Pixels(shot), root, 0, 0), 0);
    EXPECT_TRUE(InMapping(Pixels(shot).bits, "memfd:"));
    // The 32-bit rows the server wrote are gone: the file holds the 24-bit ones.
    EXPECT_EQ(MappedFileSize(Pixels(shot).bits), 1024 * 3 * 768);
    EXPECT_FALSE(SysvAttached());
    // Saved as a bitmap file (read from the memory file): the header, then
    // exactly the picture's rows.
    const TempDir dir;
    SavePicture(shot, dir / "shot.bmp");
    const std::string bmp = ReadFile(dir / "shot.bmp");
    ASSERT_EQ(bmp.size(), 54u + 1024 * 3 * 768);
    EXPECT_EQ(bmp.compare(54, std::string::npos, reinterpret_cast<const char*>(Pixels(shot).bits), 1024 * 3 * 768), 0);
  }
  const Rgb root = Steady([&] { shot = capture::GrabScreen(); });
  const HDC src = CreateCompatibleDC(0);
  const HGDIOBJ oldSrc = SelectObject(src, shot.Handle());
  {
    Dib dib(1024, 768);
    ASSERT_TRUE(BitBlt(dib.dc, 0, 0, 1024, 768, src, 0, 0, SRCCOPY));
    EXPECT_EQ(BitmapOf(dib.bitmap)->bits, dib.bits);  // the caller's pointer stays good
    EXPECT_FALSE(InMapping(dib.bits, "memfd:"));
    EXPECT_EQ(Mismatches(*BitmapOf(dib.bitmap), root, 0, 0), 0);
    // Written through the pointer: the picture keeps the screen.
    std::fill(dib.bits, dib.bits + 3 * 1024 * 10, 0x5a);
    EXPECT_EQ(Mismatches(Pixels(shot), root, 0, 0), 0);
    // The picture drawn into by GDI: the DIB keeps what it had.
    Dib black(1024, 768);
    ASSERT_TRUE(BitBlt(src, 0, 0, 1024, 768, black.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(Mismatches(Pixels(shot), Rgb{}, 0, 0), 0);
    EXPECT_EQ(Mismatches(*BitmapOf(dib.bitmap), root, 0, 0), 1024 * 10);
    // Written straight into the picture's memory, as a toolkit would draw:
    // the next copy and the bitmap file hold it too.
    std::fill(Pixels(shot).bits, Pixels(shot).bits + 3 * 1024 * 768, 0xff);
    Dib white(1024, 768);
    ASSERT_TRUE(BitBlt(white.dc, 0, 0, 1024, 768, src, 0, 0, SRCCOPY));
    EXPECT_EQ(std::count(white.bits, white.bits + 3 * 1024 * 768, 0xff), 3 * 1024 * 768);
    const TempDir dir;
    SavePicture(shot, dir / "white.bmp");
    EXPECT_EQ(ReadFile(dir / "white.bmp").find_first_not_of('\xff', 54), std::string::npos);
  }
  SelectObject(src, oldSrc);
  DeleteDC(src);
  // The picture lets go of its memory file with its last reference.
  const void* bits = Pixels(shot).bits;
  shot = Picture();
  EXPECT_FALSE(InMapping(bits, "memfd:"));
}

// A window with its frame, a client area's inside, rectangles partly off
// the screen (black there), and a copy into half a bottom-up DIB section.
TEST(Capture, WindowsClientAreasAndRectanglesBeyondTheScreen) {
  REQUIRE_DESKTOP();
  Xterm term(UniqueTitle("window"), "50x10+700+20", {"-e", "sh", "-c", "echo hello; exec sleep 60"});
  RECT rc;
  ASSERT_TRUE(GetWindowRect(term.hwnd(), &rc));
  Picture whole, corner;
  Bitmap client;
  Dib dib(300, 200);
  const HDC screen = GetDC(0);
  const Rgb root = Steady([&] {
    whole = capture::GrabWindow(term.hwnd());
    corner = capture::GrabArea(GetDesktopWindow(), -7, -5, 40, 30);
    client = Bitmap();
    client.width = 60, client.height = 40;
    ASSERT_TRUE(platform::ReadWindowPixels(term.hwnd(), false, 3, 4, 60, 40, client, 0, 0));
    ASSERT_TRUE(BitBlt(dib.dc, 150, 0, 150, 200, screen, 900, 10, SRCCOPY));
  });
  ReleaseDC(0, screen);
  ASSERT_TRUE(whole);
  EXPECT_EQ(std::make_pair(Pixels(whole).width, Pixels(whole).height),
            std::make_pair(rc.Right - rc.Left, rc.Bottom - rc.Top));
  EXPECT_EQ(Mismatches(Pixels(whole), root, rc.Left, rc.Top), 0);
  EXPECT_GT(Mismatches(Pixels(whole), Rgb{}, 0, 0), 0);  // not black by accident
  const Rect inside = Geometry(term.id());
  EXPECT_EQ(Mismatches(client, root, inside.x + 3, inside.y + 4), 0);
  EXPECT_EQ(Mismatches(Pixels(corner), root, -7, -5), 0);
  // Only the right half of the DIB was filled, from partly beyond the right edge.
  Bitmap left = *BitmapOf(dib.bitmap), right = left;
  left.width = right.width = 150;
  right.bits += 150 * 3;
  EXPECT_EQ(Mismatches(right, root, 900, 10), 0);
  EXPECT_EQ(Mismatches(left, Rgb{}, 0, 0), 0);
}
