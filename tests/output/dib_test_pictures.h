// Pictures made in memory as a capture gives them (32-bit device bitmaps).
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/gdi.h"
#include "runtime/picture.h"

namespace testpictures {

// RGB, top row first, in which every pixel differs from its neighbours.
inline std::vector<std::uint8_t> Pattern(int width, int height) {
  std::vector<std::uint8_t> rgb;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      rgb.insert(rgb.end(), {std::uint8_t(x * 7 + y), std::uint8_t(y * 3 + 11), std::uint8_t((x ^ y) + 100)});
  return rgb;
}

inline runtime::Picture MakePicture(int width, int height, const std::vector<std::uint8_t>& rgb) {
  const runtime::HBITMAP bitmap = runtime::CreateCompatibleBitmap(0, width, height);
  runtime::Bitmap* b = runtime::BitmapOf(bitmap);
  if (!b || !b->Allocate()) return {};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* s = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
      std::uint8_t* p = b->Row(y) + 4 * x;
      p[0] = s[2], p[1] = s[1], p[2] = s[0], p[3] = 0xFF;
    }
  runtime::PICTDESC desc;
  desc.hbitmap = bitmap;
  return runtime::OleCreatePictureIndirect(desc, true);
}

inline runtime::Picture MakePicture(int width, int height) { return MakePicture(width, height, Pattern(width, height)); }

}  // namespace testpictures
