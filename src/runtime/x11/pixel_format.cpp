#include "runtime/x11/pixel_format.h"

#include <algorithm>
#include <barrier>
#include <bit>
#include <cstring>
#include <exception>
#include <optional>

#include "runtime/parallel.h"

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

namespace {

constexpr int kBand = 16;

// A thread's own room: a band of narrowed rows, then two rows to swap.
struct Scratch {
  std::uint8_t* band;
  std::uint8_t* upper;
  std::uint8_t* lower;
};

// Rows are narrowed a band at a time into scratch and copied to their place
// from there, so a row never overwrites bytes not yet read.
//
// Job 0 goes down from the top: row y lands at y * dstStride, never past the
// start of row y itself. Job 1 goes up from the bottom: row y lands at
// end - (height - y) * dstStride, never before the end of row y - 1. Each
// job writes only over rows it has read, so the two can run at once.
void NarrowPart(std::uint8_t* data, int width, int height, std::size_t srcStride, std::size_t dstStride, int split,
                int job, const Scratch& room) {
  const std::size_t end = srcStride * static_cast<std::size_t>(height);
  auto narrow = [&](int first, int rows) {
    for (int i = 0; i < rows; ++i)
      BgrxToBgr(data + srcStride * static_cast<std::size_t>(first + i), width, room.band + dstStride * i);
  };
  if (job == 0) {
    for (int y = 0; y < split; y += kBand) {
      const int rows = std::min(kBand, split - y);
      narrow(y, rows);
      std::memcpy(data + dstStride * static_cast<std::size_t>(y), room.band, dstStride * rows);
    }
  } else {
    for (int last = height; last > split;) {
      const int rows = std::min(kBand, last - split), first = last - rows;
      narrow(first, rows);
      std::memcpy(data + end - dstStride * static_cast<std::size_t>(height - first), room.band, dstStride * rows);
      last = first;
    }
  }
}

// Then row p of the picture swaps with row q = height - 1 - p. Written at
// q * dstStride, row p may cover rows of job 1 (kept gap bytes further on)
// that are still to move: those of pairs nearer the middle. Going from the
// middle outwards, every pair comes after them.
//
// The pair nearest the edge among those whose job-1 rows the write of pair p
// covers; height / 2 (no pair) when it covers none.
int FirstCoveredPair(int p, int height, std::size_t srcStride, std::size_t dstStride, int split) {
  const long long h = height, b = static_cast<long long>(dstStride);
  const long long gap = static_cast<long long>(srcStride - dstStride) * h, q = h - 1 - p;
  // Rows r of job 1 (split <= r < q) whose bytes [r * b + gap, (r + 1) * b + gap)
  // meet [q * b, (q + 1) * b).
  const long long top = (q + 1) * b - gap - 1;  // r * b <= top
  if (top < 0) return height / 2;
  const long long last = std::min(top / b, q - 1);
  const long long below = q * b - gap - b;  // r * b > below
  const long long first = std::max<long long>(split, (below >= 0 ? below / b : -((-below + b - 1) / b)) + 1);
  return first > last ? height / 2 : static_cast<int>(h - 1 - last);
}

// The pairs that may swap at once: those from the result on, which cover
// nothing still to move, then those below it, which cover only rows of the
// first group. -1 when that does not hold (tiny images): then one pair after
// the other, from the middle outwards.
int ReversalOrder(int height, std::size_t srcStride, std::size_t dstStride, int split) {
  const int pairs = height / 2;
  int order = pairs;
  while (order > 0 && FirstCoveredPair(order - 1, height, srcStride, dstStride, split) >= pairs) --order;
  for (int p = 0; p < order; ++p)
    if (FirstCoveredPair(p, height, srcStride, dstStride, split) < order) return -1;
  return order;
}

// Swaps the pairs [first, end), from the middle outwards.
void ReverseNarrowed(std::uint8_t* data, int height, std::size_t srcStride, std::size_t dstStride, int split,
                     int first, int end, const Scratch& room) {
  const std::size_t gap = (srcStride - dstStride) * static_cast<std::size_t>(height);
  auto at = [&](int y) { return data + dstStride * static_cast<std::size_t>(y) + (y < split ? 0 : gap); };
  for (int p = end - 1; p >= first; --p) {
    // Row p (above the split) already lies where row q goes.
    const int q = height - 1 - p;
    std::uint8_t* const rowP = data + dstStride * static_cast<std::size_t>(p);
    std::uint8_t* const placeP = data + dstStride * static_cast<std::size_t>(q);
    if (gap >= dstStride) {
      // Row q lies a whole row or more past the place of row p: two copies.
      std::memcpy(placeP, rowP, dstStride);
      std::memcpy(rowP, at(q), dstStride);
    } else {
      std::memcpy(room.upper, rowP, dstStride);
      std::memcpy(room.lower, at(q), dstStride);
      std::memcpy(rowP, room.lower, dstStride);
      std::memcpy(placeP, room.upper, dstStride);
    }
  }
  // An odd middle row lies above the split, where it belongs.
}

}  // namespace

void NarrowToBottomUp(std::uint8_t* data, int width, int height, std::size_t srcStride, std::size_t dstStride,
                      bool twoThreads) {
  const int split = height - height / 2, pairs = height / 2;
  const int order = ReversalOrder(height, srcStride, dstStride, split);
  const int middleA = order + (pairs - order) / 2, middleB = order / 2;
  // All the memory the threads use, taken before any starts: nothing below
  // can throw once two threads work on the rows.
  std::vector<std::uint8_t> memory(2 * (kBand + 2) * dstStride);  // zeroed: the rows' padding
  const auto room = [&](int half) {
    std::uint8_t* base = memory.data() + static_cast<std::size_t>(half) * (kBand + 2) * dstStride;
    return Scratch{base, base + kBand * dstStride, base + (kBand + 1) * dstStride};
  };
  auto narrow = [&](int half) { NarrowPart(data, width, height, srcStride, dstStride, split, half, room(half)); };
  auto reverse = [&](int half, int first, int end) {
    ReverseNarrowed(data, height, srcStride, dstStride, split, first, end, room(half));
  };
  std::barrier<> sync(2);
  auto second = [&] {
    narrow(1);
    sync.arrive_and_wait();
    if (order < 0) return;
    reverse(1, middleA, pairs);
    sync.arrive_and_wait();
    reverse(1, middleB, order);
  };
  std::optional<Worker> other;
  if (twoThreads) {
    try {
      other.emplace(second);
    } catch (const std::exception&) {
    }
  }
  if (!other) {
    narrow(0);
    narrow(1);
    return reverse(0, 0, pairs);  // from the middle outwards suits every order
  }
  narrow(0);
  other->Release();
  sync.arrive_and_wait();
  if (order < 0) {
    reverse(0, 0, pairs);
  } else {
    reverse(0, order, middleA);
    sync.arrive_and_wait();
    reverse(0, 0, middleB);
  }
  other->Join();
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
