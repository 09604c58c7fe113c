// Pictures made in memory, as a capture would give them (32-bit device
// bitmaps), with a pattern in which every pixel differs from its neighbours.
#pragma once
#include <cmath>
#include <cstdint>
#include <vector>

#include "output/c_dib_section.h"
#include "runtime/gdi.h"
#include "runtime/picture.h"

namespace testpictures {

// Red, green, blue of pixel (x, y).
inline void Colour(int x, int y, std::uint8_t rgb[3]) {
  rgb[0] = static_cast<std::uint8_t>(x * 7 + y);
  rgb[1] = static_cast<std::uint8_t>(y * 3 + 11);
  rgb[2] = static_cast<std::uint8_t>((x ^ y) + 100);
}

// A desktop-like picture for lossy files: gradients, waves and flat panels.
// Top row first, red, green, blue.
inline std::vector<std::uint8_t> SmoothRgb(int width, int height) {
  std::vector<std::uint8_t> rgb;
  rgb.reserve(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool panel = (x / 64 + y / 48) % 4 == 0;  // near-grey, like window backgrounds
      rgb.push_back(panel ? 236 : static_cast<std::uint8_t>(255 * x / width));
      rgb.push_back(panel ? 233 : static_cast<std::uint8_t>(255 * y / height));
      rgb.push_back(panel ? 216 : static_cast<std::uint8_t>(128 + 50 * std::sin(x / 29.0 + y / 37.0)));
    }
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

inline runtime::Picture MakePicture(int width, int height) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) Colour(x, y, rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3);
  return MakePicture(width, height, rgb);
}

// Pixels of the DIB (bottom-up BGR rows) that differ from the pattern.
inline int DibMismatches(const output::cDIBSection& dib) {
  int bad = 0;
  for (int y = 0; y < dib.Height(); ++y) {
    const std::uint8_t* row = dib.DIBSectionBitsPtr() + (dib.Height() - 1 - y) * dib.BytesPerScanLine();
    for (int x = 0; x < dib.Width(); ++x) {
      std::uint8_t rgb[3];
      Colour(x, y, rgb);
      bad += row[3 * x] != rgb[2] || row[3 * x + 1] != rgb[1] || row[3 * x + 2] != rgb[0];
    }
  }
  return bad;
}

}  // namespace testpictures
