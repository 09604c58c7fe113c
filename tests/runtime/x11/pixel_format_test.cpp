// Conversion of server image rows into our BGR(X) bitmaps, for the pixel
// layouts a display may use.
#include "runtime/x11/pixel_format.h"

#include <gtest/gtest.h>

#include <vector>

using runtime::x11::ConvertRow;
using runtime::x11::PixelFormat;

TEST(PixelFormat, Rgb565ScalesEveryChannelToFullRange) {
  PixelFormat f;
  f.bitsPerPixel = 16;
  f.redMask = 0xf800;
  f.greenMask = 0x07e0;
  f.blueMask = 0x001f;
  // white, pure red, a mid green, black; little-endian 16-bit pixels
  const std::vector<std::uint8_t> row{0xff, 0xff, 0x00, 0xf8, 0x00, 0x04, 0x00, 0x00};
  std::vector<std::uint8_t> out(16, 0xaa);
  ConvertRow(f, row.data(), 4, out.data(), 4);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{255, 255, 255, 0, 0, 0, 255, 0, 0, 130, 0, 0, 0, 0, 0, 0}));
}

TEST(PixelFormat, ColormappedPixelsGoThroughTheColormap) {
  PixelFormat f;
  f.bitsPerPixel = 8;
  f.colormap = {0x000000, 0xffffff, 0x3366cc};
  const std::vector<std::uint8_t> row{2, 1, 0, 200};  // 200 lies outside the colormap
  std::vector<std::uint8_t> out(12, 0xaa);
  ConvertRow(f, row.data(), 4, out.data(), 3);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0xcc, 0x66, 0x33, 255, 255, 255, 0, 0, 0, 0, 0, 0}));
}

TEST(PixelFormat, ByteOrderAndPackingOfTrueColour) {
  PixelFormat bigEndian;
  bigEndian.msbFirst = true;
  const std::vector<std::uint8_t> big{0x00, 0x11, 0x22, 0x33};
  std::vector<std::uint8_t> out(4);
  ConvertRow(bigEndian, big.data(), 1, out.data(), 4);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0x33, 0x22, 0x11, 0}));
  EXPECT_FALSE(bigEndian.IsBgrx());

  PixelFormat packed;
  packed.bitsPerPixel = 24;
  const std::vector<std::uint8_t> rgb24{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  std::vector<std::uint8_t> out3(6);
  ConvertRow(packed, rgb24.data(), 2, out3.data(), 3);
  EXPECT_EQ(out3, rgb24);  // little-endian 24-bit pixels are already B, G, R

  PixelFormat pseudo;
  pseudo.bitsPerPixel = 8;
  EXPECT_EQ(pseudo.RowBytes(3), 4u);  // rows pad to 32 bits
  EXPECT_EQ(PixelFormat{}.RowBytes(3), 12u);
}
