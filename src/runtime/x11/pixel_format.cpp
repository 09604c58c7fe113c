#include "runtime/x11/pixel_format.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#endif

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

void BgrxToBgrPlain(const std::uint8_t* src, int width, std::uint8_t* dst) {
  for (int x = 0; x < width; ++x, src += 4, dst += 3) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen pixels a round with byte shuffles; the tail goes the plain way.
__attribute__((target("ssse3"))) void BgrxToBgrShuffle(const std::uint8_t* src, int width, std::uint8_t* dst) {
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  int x = 0;
  for (; x + 16 <= width; x += 16, src += 64, dst += 48) {
    const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), pack);
    const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16)), pack);
    const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32)), pack);
    const __m128i d = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 48)), pack);
    // 12 useful bytes in each; join them into three full 16-byte stores.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_or_si128(a, _mm_slli_si128(b, 12)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32), _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
  }
  BgrxToBgrPlain(src, width - x, dst);
}
#endif

}  // namespace

void BgrxToBgr(const std::uint8_t* src, int width, std::uint8_t* dst) {
#if defined(__x86_64__) || defined(__i386__)
  // One CPUID leaf, asked on first use: __builtin_cpu_supports would link
  // in a load-time probe of a dozen leaves, and each costs about 10 us
  // under a hypervisor, in every run.
  static const bool shuffle = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_SSSE3) != 0;
  }();
  if (shuffle) return BgrxToBgrShuffle(src, width, dst);
#endif
  BgrxToBgrPlain(src, width, dst);
}

void ConvertRow(const PixelFormat& format, const std::uint8_t* src, int width, std::uint8_t* dst, int dstBytes) {
  if (dstBytes == 4 && format.IsBgrx()) {
    std::memcpy(dst, src, static_cast<std::size_t>(width) * 4);
    return;
  }
  if (dstBytes == 3 && format.IsBgrx()) return BgrxToBgr(src, width, dst);
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
