// Pixel memory and reading the screen in the Windows build: the pixel file
// (a section backed by the paging file) against its own verbs, and the
// screen's pixels of a real window under Wine, part of it off the screen.
#include "runtime/platform.h"

#include <windows.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "runtime/fileio.h"
#include "win32_util.h"

namespace {

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> v(size);
  for (std::size_t i = 0; i < size; ++i) v[i] = static_cast<std::uint8_t>((i * 131 + seed) >> 3);
  return v;
}

TEST(Win32Pixels, APixelFileHoldsWhatIsWrittenThroughEveryVerb) {
  // Not a multiple of the allocation granularity, so that ranges start and
  // end inside a view.
  const std::size_t size = std::size_t{123} * 4 * 6400;
  auto file = runtime::platform::PixelFile::Create(size);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->size(), size);
  EXPECT_FALSE(runtime::platform::PixelFile::Create(0));

  const auto whole = Pattern(size, 7);
  ASSERT_TRUE(file->Write(whole.data(), size, 0));
  const auto piece = Pattern(1000, 99);
  ASSERT_TRUE(file->Write(piece.data(), piece.size(), 65536 - 500));  // across a view boundary
  auto expected = whole;
  std::copy(piece.begin(), piece.end(), expected.begin() + (65536 - 500));
  EXPECT_FALSE(file->Write(piece.data(), piece.size(), size - 10)) << "past the end";
  EXPECT_FALSE(file->Write(piece.data(), 1, size + 1));

  std::vector<std::uint8_t> back(3000);
  ASSERT_TRUE(file->Read(back.data(), back.size(), 64000));
  EXPECT_TRUE(std::equal(back.begin(), back.end(), expected.begin() + 64000));
  EXPECT_FALSE(file->Read(back.data(), 2, size - 1));

  // What the view shows is the file, both ways.
  auto view = file->View();
  ASSERT_TRUE(view);
  auto* bytes = static_cast<std::uint8_t*>(view.get());
  EXPECT_EQ(std::memcmp(bytes, expected.data(), size), 0);
  bytes[size - 1] = 0xAB;
  expected[size - 1] = 0xAB;
  std::uint8_t last = 0;
  ASSERT_TRUE(file->Read(&last, 1, size - 1));
  EXPECT_EQ(last, 0xAB);

  // CopyInto: a bitmap whose rows are exactly the file.
  runtime::Bitmap bitmap;
  bitmap.width = 123;
  bitmap.height = static_cast<std::int32_t>(size / (123 * 4));
  bitmap.bitsPixel = 32;
  ASSERT_EQ(static_cast<std::size_t>(bitmap.width) * 4 * bitmap.height, size);
  ASSERT_TRUE(file->CopyInto(bitmap));
  EXPECT_EQ(std::memcmp(bitmap.bits, expected.data(), size), 0);
  runtime::Bitmap wrong;
  wrong.width = 10;
  wrong.height = 10;
  EXPECT_FALSE(file->CopyInto(wrong)) << "sizes differ";

  // WriteTo: the whole file through a sink into a real file.
  win32test::TempFolder folder;
  const std::string name = folder / "pixels.raw";
  std::size_t written = 0;
  runtime::WriteFileSafely(name, [&](runtime::FileSink& sink) { written = file->WriteTo(sink); });
  EXPECT_EQ(written, size);
  EXPECT_EQ(win32test::ReadAll(name), expected);
}

// A borderless red window at the left edge of the screen.
class RedWindow {
 public:
  RedWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"GlimmetRedWindow";
    wc.hbrBackground = CreateSolidBrush(RGB(255, 0, 0));
    RegisterClassW(&wc);
    window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"GlimmetRedWindow", L"red", WS_POPUP | WS_VISIBLE, 0,
                             200, 100, 80, nullptr, nullptr, wc.hInstance, nullptr);
    for (int i = 0; i < 20; ++i) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      UpdateWindow(window);
      Sleep(25);
    }
  }
  ~RedWindow() {
    if (window) DestroyWindow(window);
  }
  HWND window = nullptr;
};

TEST(Win32Pixels, AWindowsPixelsComeFromTheScreenAndOffScreenIsBlack) {
  RedWindow red;
  ASSERT_TRUE(red.window);
  RECT r{};
  ASSERT_TRUE(GetWindowRect(red.window, &r));
  ASSERT_EQ(r.left, 0);
  ASSERT_EQ(r.right, 100);
  const auto handle = static_cast<runtime::HWND>(reinterpret_cast<INT_PTR>(red.window));
  for (const int bits : {32, 24}) {
    SCOPED_TRACE(bits);
    runtime::Bitmap dst;
    dst.width = 170;
    dst.height = 80;
    dst.bitsPixel = static_cast<std::uint16_t>(bits);
    dst.bottomUp = bits == 24;
    ASSERT_TRUE(dst.Allocate());
    std::memset(dst.bits, 0x5A, static_cast<std::size_t>(dst.stride) * dst.height);  // not black
    // From 50 pixels left of the window, which is off the screen.
    ASSERT_TRUE(runtime::platform::ReadWindowPixels(handle, true, -50, 0, 150, 80, dst, 0, 0));
    const int bytes = bits / 8;
    const auto pixel = [&](int x, int y) {
      const std::uint8_t* p = dst.Row(y) + x * bytes;
      return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(pixel(10, 40), (std::vector<int>{0, 0, 0})) << "off the screen";
    EXPECT_EQ(pixel(49, 79), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(pixel(50, 0), (std::vector<int>{0, 0, 255})) << "on the screen: red";
    EXPECT_EQ(pixel(149, 79), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(pixel(160, 40), (std::vector<int>{0x5A, 0x5A, 0x5A})) << "outside the rectangle: untouched";
    if (bits == 32) {
      EXPECT_EQ(dst.Row(0)[50 * 4 + 3], 0) << "BGRX";
    }
  }
  // A window that is gone gives nothing.
  DestroyWindow(red.window);
  red.window = nullptr;
  runtime::Bitmap dst;
  dst.width = dst.height = 10;
  EXPECT_FALSE(runtime::platform::ReadWindowPixels(handle, true, 0, 0, 10, 10, dst, 0, 0));
}

TEST(Win32Pixels, TheScreenIsThePrimaryMonitorAtTheDisplaysDepth) {
  std::int32_t left = -1, top = -1, width = 0, height = 0;
  runtime::platform::PrimaryScreenRect(left, top, width, height);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(top, 0);
  EXPECT_EQ(width, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(height, GetSystemMetrics(SM_CYSCREEN));
  const auto caps = runtime::platform::GetDisplayCaps();
  EXPECT_GE(caps.bitsPixel, 24);
  EXPECT_FALSE(caps.palette);
  runtime::PALETTEENTRY entries[4]{};
  EXPECT_EQ(runtime::platform::SystemPalette(0, 4, entries), 0u) << "no palette on a true-colour display";
}

}  // namespace
