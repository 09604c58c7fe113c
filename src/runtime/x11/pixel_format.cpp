#include "runtime/x11/pixel_format.h"

#include <bit>
#include <cstring>

namespace runtime::x11 {
namespace {

std::uint32_t ReadPixel(const PixelFormat& f, const std::uint8_t* row, int x) {
  switch (f.bitsPerPixel) {
    case 1: {
      const int bit = f.msbFirst ? 7 - (x & 7) : (x & 7);
      return (row[x >> 3] >> bit) & 1u;
    }
    case 4: {
      const std::uint8_t b = row[x >> 1];
      return ((x & 1) == f.msbFirst ? b : b >> 4) & 0x0fu;
    }
    case 8: return row[x];
    default: break;
  }
  const int bytes = f.bitsPerPixel / 8;
  const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * bytes;
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= std::uint32_t{p[f.msbFirst ? i : bytes - 1 - i]} << (8 * (bytes - 1 - i));
  return v;
}

// Scales the masked field of a pixel to 8 bits.
std::uint8_t Channel(std::uint32_t pixel, std::uint32_t mask) {
  if (!mask) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const std::uint32_t value = (pixel & mask) >> shift;
  if (bits >= 8) return static_cast<std::uint8_t>(value >> (bits - 8));
  // Replicate the high bits into the low ones so that full scale is 255.
  std::uint32_t wide = 0;
  for (int filled = 0; filled < 8; filled += bits) wide = (wide << bits) | value;
  const int total = ((8 + bits - 1) / bits) * bits;
  return static_cast<std::uint8_t>(wide >> (total - 8));
}

}  // namespace

void ConvertRow(const PixelFormat& format, const std::uint8_t* src, int width, std::uint8_t* dst, int dstBytes) {
  if (dstBytes == 4 && format.IsBgrx()) {
    std::memcpy(dst, src, static_cast<std::size_t>(width) * 4);
    return;
  }
  for (int x = 0; x < width; ++x, dst += dstBytes) {
    const std::uint32_t pixel = ReadPixel(format, src, x);
    if (!format.colormap.empty()) {
      const std::uint32_t bgrx = pixel < format.colormap.size() ? format.colormap[pixel] : 0;
      dst[0] = static_cast<std::uint8_t>(bgrx);
      dst[1] = static_cast<std::uint8_t>(bgrx >> 8);
      dst[2] = static_cast<std::uint8_t>(bgrx >> 16);
    } else {
      dst[0] = Channel(pixel, format.blueMask);
      dst[1] = Channel(pixel, format.greenMask);
      dst[2] = Channel(pixel, format.redMask);
    }
    if (dstBytes == 4) dst[3] = 0;
  }
}

}  // namespace runtime::x11
