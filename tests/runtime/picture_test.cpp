// Bitmap files as SavePicture writes them: the header, then the rows bottom
// to top, padded to four bytes, whatever the layout the pixels are held in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/gdi.h"
#include "runtime/picture.h"
#include "runtime/platform.h"
#include "runtime/linux/shell.h"

namespace runtime {
namespace {

using testshell::ReadFile;
using testshell::TempDir;

// A colour of its own for every pixel, so that a row or a column out of
// place shows.
std::uint32_t Colour(int x, int y) { return static_cast<std::uint32_t>((y * 37 + 11) << 16 | (x * 53 + 7) << 8 | (x ^ y)); }

// The BMP file's pixel (x, y), y counted from the picture's top.
std::uint32_t FilePixel(const std::string& bmp, int width, int height, int x, int y) {
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  const auto* p = reinterpret_cast<const std::uint8_t*>(bmp.data()) + 54 + stride * (height - 1 - y) + x * 3;
  return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}

// The picture owning a fresh bitmap of the given layout, filled with Colour.
Picture Filled(int width, int height, int bitsPixel, bool bottomUp) {
  const HBITMAP handle = CreateCompatibleBitmap(0, width, height);
  Bitmap& b = *BitmapOf(handle);
  b.bitsPixel = static_cast<std::uint16_t>(bitsPixel);
  b.bottomUp = bottomUp;
  EXPECT_TRUE(b.Allocate());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = Colour(x, y);
      std::memcpy(b.Row(y) + x * (bitsPixel / 8), &c, bitsPixel / 8);
    }
  PICTDESC desc;
  desc.hbitmap = handle;
  return OleCreatePictureIndirect(desc, true);
}

void ExpectFileHolds(const std::string& bmp, int width, int height) {
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  ASSERT_EQ(bmp.size(), 54 + stride * height);
  std::int32_t h;
  std::memcpy(&h, bmp.data() + 22, 4);
  EXPECT_EQ(h, height);  // positive: the rows go bottom-up
  int wrong = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) wrong += FilePixel(bmp, width, height, x, y) != (Colour(x, y) & 0xFFFFFF);
  EXPECT_EQ(wrong, 0);
  for (int y = 0; y < height; ++y)  // the padding is zero
    for (std::size_t k = width * 3; k < stride; ++k) EXPECT_EQ(bmp[54 + stride * y + k], 0);
}

TEST(SavePicture, EveryLayoutGivesTheSameFile) {
  const TempDir dir;
  for (const int bitsPixel : {24, 32})
    for (const bool bottomUp : {false, true}) {
      SCOPED_TRACE(std::to_string(bitsPixel) + (bottomUp ? " bottom-up" : " top-down"));
      const Picture p = Filled(5, 3, bitsPixel, bottomUp);  // 15 bytes a row: one of padding
      SavePicture(p, dir / "p.bmp");
      ExpectFileHolds(ReadFile(dir / "p.bmp"), 5, 3);
    }
}

}  // namespace
}  // namespace runtime
