// Conversion of server image rows into our BGR(X) bitmaps, for the pixel
// layouts a display may use.
#include "runtime/x11/pixel_format.h"

#include <gtest/gtest.h>

#include <vector>

using runtime::x11::BgrxToBgr;
using runtime::x11::ConvertRow;
using runtime::x11::PixelFormat;

TEST(PixelFormat, RowsOfEveryLayoutBecomeBlueGreenRed) {
  PixelFormat rgb565, colormapped, bigEndian, packed;
  rgb565.bitsPerPixel = 16, rgb565.redMask = 0xf800, rgb565.greenMask = 0x07e0, rgb565.blueMask = 0x001f;
  colormapped.bitsPerPixel = 8, colormapped.colormap = {0x000000, 0xffffff, 0x3366cc};
  bigEndian.msbFirst = true, packed.bitsPerPixel = 24;
  using Bytes = std::vector<std::uint8_t>;
  struct Case {
    const char* what;
    PixelFormat format;
    Bytes row;
    int outBytes;
    Bytes want;
  };
  const Case cases[] = {
      // white, pure red, a mid green, black; little-endian: every channel scaled to full range
      {"RGB 565", rgb565, {0xff, 0xff, 0x00, 0xf8, 0x00, 0x04, 0x00, 0x00}, 4,
       {255, 255, 255, 0, 0, 0, 255, 0, 0, 130, 0, 0, 0, 0, 0, 0}},
      // 200 lies outside the colormap
      {"colormap", colormapped, {2, 1, 0, 200}, 3, {0xcc, 0x66, 0x33, 255, 255, 255, 0, 0, 0, 0, 0, 0}},
      {"big-endian", bigEndian, {0x00, 0x11, 0x22, 0x33}, 4, {0x33, 0x22, 0x11, 0}},
      // little-endian 24-bit pixels are already B, G, R
      {"packed 24-bit", packed, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, 3, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes out(c.want.size(), 0xaa);
    ConvertRow(c.format, c.row.data(), static_cast<int>(c.want.size()) / c.outBytes, out.data(), c.outBytes);
    EXPECT_EQ(out, c.want);
  }
  EXPECT_EQ(colormapped.RowBytes(3), 4u);  // rows pad to 32 bits
}

TEST(PixelFormat, BgrxToBgrDropsEveryFourthByteAtEveryWidth) {
  // Widths around the sixteen-pixel rounds, so the tail is covered too.
  std::vector<std::uint8_t> src(4 * 40);
  for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<std::uint8_t>(i * 7 + 1);
  for (int width : {0, 1, 15, 16, 17, 31, 32, 33, 40}) {
    SCOPED_TRACE(width);
    std::vector<std::uint8_t> out(3 * 40 + 1, 0xaa), want(out);
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) want[3 * x + c] = src[4 * x + c];
    BgrxToBgr(src.data(), width, out.data());
    EXPECT_EQ(out, want);  // nothing written past the last pixel
  }
}

