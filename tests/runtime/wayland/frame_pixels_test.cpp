// The placement of a compositor's frame into a picture: every format's
// byte order, rows written bottom first, outputs that lie elsewhere on the
// layout, and requests that reach past the picture.
#include "runtime/wayland/frame_pixels.h"

#include <gtest/gtest.h>

#include <vector>

namespace runtime::wayland {
namespace {

// A 3 x 2 frame whose pixel (x, y) holds the colour 0xRRGGBB = x, y, 7,
// in the byte order of format.
std::vector<std::uint8_t> Frame(std::uint32_t format, std::int32_t stride) {
  std::vector<std::uint8_t> data(static_cast<std::size_t>(stride) * 2, 0xee);
  const bool bgr = format == kAbgr8888 || format == kXbgr8888;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      std::uint8_t* p = data.data() + y * stride + x * 4;
      p[0] = bgr ? 10 + x : 7;  // red first in memory for XBGR
      p[1] = static_cast<std::uint8_t>(20 + y);
      p[2] = bgr ? 7 : 10 + x;
      p[3] = 0x80;
    }
  return data;
}

Bitmap Picture(std::int32_t width, std::int32_t height, std::uint16_t bits, bool bottomUp) {
  Bitmap b;
  b.width = width;
  b.height = height;
  b.bitsPixel = bits;
  b.bottomUp = bottomUp;
  EXPECT_TRUE(b.Allocate());
  return b;
}

// Blue, green, red of picture pixel (x, y) as 0xRRGGBB.
std::uint32_t At(const Bitmap& b, int x, int y) {
  const std::uint8_t* p = b.Row(y) + x * (b.bitsPixel / 8);
  return static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

std::uint32_t Colour(int x, int y) { return static_cast<std::uint32_t>(10 + x) << 16 | (20 + y) << 8 | 7; }

TEST(FramePixels, EveryFormatAndRowOrderGivesTheSamePicture) {
  for (std::uint32_t format : {kArgb8888, kXrgb8888, kAbgr8888, kXbgr8888})
    for (bool yInvert : {false, true})
      for (std::uint16_t bits : {std::uint16_t{24}, std::uint16_t{32}})
        for (bool bottomUp : {false, true}) {
          SCOPED_TRACE(testing::Message() << format << " invert " << yInvert << " bits " << bits << " up " << bottomUp);
          std::vector<std::uint8_t> data = Frame(format, 16);  // rows padded past 12 bytes
          if (yInvert) std::swap_ranges(data.begin(), data.begin() + 16, data.begin() + 16);
          FramePixels f{data.data(), format, 3, 2, 16, yInvert, 0, 0};
          Bitmap dst = Picture(3, 2, bits, bottomUp);
          f.CopyInto(0, 0, 3, 2, dst, 0, 0);
          for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(At(dst, x, y), Colour(x, y)) << x << "," << y;
          if (bits == 32) {
            EXPECT_EQ(dst.Row(0)[3], 0);  // no alpha leaks into the pad byte
          }
        }
}

TEST(FramePixels, AnOutputElsewhereOnTheLayoutFillsOnlyItsPart) {
  const std::vector<std::uint8_t> data = Frame(kXrgb8888, 12);
  // The output lies at (4, 1); the request is the layout's (2, 0, 6, 4),
  // placed at (1, 1) of an 8 x 5 picture.
  FramePixels f{data.data(), kXrgb8888, 3, 2, 12, false, 4, 1};
  Bitmap dst = Picture(8, 5, 32, false);
  f.CopyInto(2, 0, 6, 4, dst, 1, 1);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 8; ++x) {
      const int lx = x - 1 + 2, ly = y - 1;  // the layout pixel at picture (x, y)
      const bool shown = lx >= 4 && lx < 7 && ly >= 1 && ly < 3;
      EXPECT_EQ(At(dst, x, y), shown ? Colour(lx - 4, ly - 1) : 0u) << x << "," << y;
    }
}

TEST(FramePixels, ARequestPastThePictureIsClippedAndUnknownFormatsLeaveItAlone) {
  const std::vector<std::uint8_t> data = Frame(kXrgb8888, 12);
  FramePixels f{data.data(), kXrgb8888, 3, 2, 12, false, 0, 0};
  Bitmap dst = Picture(2, 1, 24, true);
  f.CopyInto(0, 0, 3, 2, dst, -1, 0);  // starts left of the picture
  EXPECT_EQ(At(dst, 0, 0), Colour(1, 0));
  EXPECT_EQ(At(dst, 1, 0), Colour(2, 0));

  Bitmap untouched = Picture(2, 1, 24, true);
  f.format = 0x3231564e;  // NV12: not a screen format this reads
  EXPECT_FALSE(FramePixels::Known(f.format));
  f.CopyInto(0, 0, 3, 2, untouched, 0, 0);
  EXPECT_EQ(At(untouched, 0, 0), 0u);
}

}  // namespace
}  // namespace runtime::wayland
