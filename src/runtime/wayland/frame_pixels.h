// One output's frame as a Wayland compositor wrote it into shared memory,
// and its placement into our pictures. Pure: no compositor needed.
#pragma once
#include <cstdint>

#include "runtime/gdi.h"

namespace runtime::wayland {

// The wl_shm formats a compositor gives for a screen, as the protocol
// numbers them. In memory (little endian) XRGB is B, G, R, X and XBGR is
// R, G, B, X; the alpha of the A formats is dropped.
inline constexpr std::uint32_t kArgb8888 = 0, kXrgb8888 = 1, kAbgr8888 = 0x34324241, kXbgr8888 = 0x34324258;

struct FramePixels {
  const std::uint8_t* data = nullptr;
  std::uint32_t format = kXrgb8888;
  std::int32_t width = 0, height = 0, stride = 0;
  bool yInvert = false;    // the compositor wrote the rows bottom first
  std::int32_t x = 0, y = 0;  // the output's place on the layout

  // Whether the format is one of the four above.
  static bool Known(std::uint32_t format);
  // Copies what the frame shows of the rectangle (x, y, width, height) of
  // the layout into dst (24 or 32-bit BGR(X), rows in either order) at
  // (dstX, dstY), clipped to dst; the rest of dst is left as it was.
  void CopyInto(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height, Bitmap& dst,
                std::int32_t dstX, std::int32_t dstY) const;
};

}  // namespace runtime::wayland
