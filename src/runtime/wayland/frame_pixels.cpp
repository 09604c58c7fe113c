#include "runtime/wayland/frame_pixels.h"

#include <algorithm>

namespace runtime::wayland {

bool FramePixels::Known(std::uint32_t format) {
  return format == kArgb8888 || format == kXrgb8888 || format == kAbgr8888 || format == kXbgr8888;
}

void FramePixels::CopyInto(std::int32_t left, std::int32_t top, std::int32_t w, std::int32_t h, Bitmap& dst,
                           std::int32_t dstX, std::int32_t dstY) const {
  if (!Known(format) || !data || (dst.bitsPixel != 24 && dst.bitsPixel != 32)) return;
  const bool swap = format == kAbgr8888 || format == kXbgr8888;
  // The part of the request the frame shows and dst can hold, in layout
  // pixels; the frame's pixels are the layout's (an unscaled output).
  const std::int32_t x0 = std::max({left, x, left - dstX}), x1 = std::min({left + w, x + width, left - dstX + dst.width});
  const std::int32_t y0 = std::max({top, y, top - dstY}), y1 = std::min({top + h, y + height, top - dstY + dst.height});
  const int bytes = dst.bitsPixel / 8;
  for (std::int32_t ly = y0; ly < y1 && x0 < x1; ++ly) {
    const std::int32_t row = yInvert ? height - 1 - (ly - y) : ly - y;
    const std::uint8_t* src = data + static_cast<std::ptrdiff_t>(row) * stride + static_cast<std::ptrdiff_t>(x0 - x) * 4;
    std::uint8_t* out = dst.Row(dstY + ly - top) + static_cast<std::ptrdiff_t>(dstX + x0 - left) * bytes;
    for (std::int32_t i = x0; i < x1; ++i, src += 4, out += bytes) {
      out[0] = swap ? src[2] : src[0];
      out[1] = src[1];
      out[2] = swap ? src[0] : src[2];
      if (bytes == 4) out[3] = 0;
    }
  }
}

}  // namespace runtime::wayland
