// How the server lays out the pixels of an image, and the conversion of
// image rows into our 24/32-bit BGR(X) bitmaps. Pure: no display needed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace runtime::x11 {

struct PixelFormat {
  int bitsPerPixel = 32;
  int scanlinePad = 32;
  bool msbFirst = false;  // image byte order
  std::uint32_t redMask = 0xff0000, greenMask = 0x00ff00, blueMask = 0x0000ff;
  // Colormapped visuals: BGRX (0x00RRGGBB) for each pixel value; empty for
  // true colour.
  std::vector<std::uint32_t> colormap;

  bool IsBgrx() const {
    return bitsPerPixel == 32 && !msbFirst && colormap.empty() && redMask == 0xff0000 &&
           greenMask == 0x00ff00 && blueMask == 0x0000ff;
  }
  // Bytes in one image row of width pixels.
  std::size_t RowBytes(int width) const {
    const std::size_t bits = static_cast<std::size_t>(width) * bitsPerPixel;
    const std::size_t pad = scanlinePad > 0 ? static_cast<std::size_t>(scanlinePad) : 8;
    return (bits + pad - 1) / pad * pad / 8;
  }
};

// Converts width pixels of one image row into dst, dstBytes (3 or 4) per
// pixel in blue, green, red (, 0) order.
void ConvertRow(const PixelFormat& format, const std::uint8_t* src, int width, std::uint8_t* dst, int dstBytes);

// Drops the fourth byte of width BGRX pixels: dst gets 3 * width bytes.
// src and dst must not overlap.
void BgrxToBgr(const std::uint8_t* src, int width, std::uint8_t* dst);

}  // namespace runtime::x11
