// The encoder behind ijlWrite: a picture in memory becomes one baseline
// JPEG. Big pictures are cut into horizontal strips that are encoded on all
// cores at once and joined with restart markers, so the file is still one
// standard JPEG that any decoder reads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace runtime::jpeg {

// Pixel rows in memory, read in place: row y of the picture (0 = top)
// starts at top + y * step, so a bottom-up layout has a negative step.
struct Image {
  const std::uint8_t* top = nullptr;
  std::ptrdiff_t step = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool bgr = true;  // blue, green, red byte order (else red first); 3 bytes a pixel
};

struct Settings {
  int quality = 75;         // clamped to 1..100
  int subsampling = 1;      // IJL_NONE, IJL_420 or IJL_422
  int strips = 0;           // 0: chosen from the size and the number of cores
};

// Bytes whose resize leaves the new ones unset: the encoder writes every
// byte it keeps, and zeroing its generous first guess would touch memory
// pages it never uses.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using ByteBuffer = std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>>;

// A finished JPEG, kept as the pieces it was made from so that writing it
// needs no joining copy.
class EncodedJpeg {
 public:
  // Hands the file's bytes to sink in order; false as soon as sink says so.
  bool Write(const std::function<bool(const std::uint8_t*, std::size_t)>& sink) const;
  std::vector<std::uint8_t> Bytes() const;
  std::size_t Size() const;
  int Strips() const { return static_cast<int>(strips_.size()); }

 private:
  friend int Encode(const Image&, const Settings&, EncodedJpeg&);
  struct Strip {
    ByteBuffer data;
    std::size_t begin = 0, end = 0;  // the part of data that goes into the file
  };
  std::vector<std::uint8_t> header_;  // SOI..SOS of the joined file; empty for one strip
  std::vector<Strip> strips_;
};

// Rows per strip for a picture of this size: a multiple of 16 that keeps
// the restart interval within 16 bits, or the whole height for one strip.
std::int32_t StripRows(std::int32_t width, std::int32_t height, int subsampling, int strips);

// Encodes the whole picture; returns IJL_OK or a negative IJL_ code.
int Encode(const Image& image, const Settings& settings, EncodedJpeg& out);

}  // namespace runtime::jpeg
