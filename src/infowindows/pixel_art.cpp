#include "infowindows/pixel_art.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "runtime/gdi.h"

namespace infowindows {

bool vga::IsVga(std::uint32_t rgb) {
  return std::find(std::begin(Palette), std::end(Palette), rgb) != std::end(Palette);
}

Canvas::Canvas(int width, int height, std::uint32_t fill)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height, fill) {}

std::uint32_t Canvas::Get(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[static_cast<std::size_t>(y) * width_ + x];
}

void Canvas::Set(int x, int y, std::uint32_t rgb) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<std::size_t>(y) * width_ + x] = rgb;
}

void Canvas::FillRect(int x0, int y0, int x1, int y1, std::uint32_t rgb) {
  for (int y = std::max(0, y0); y < std::min(height_, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(width_, x1); ++x) Set(x, y, rgb);
}

void Canvas::FrameRect(int x0, int y0, int x1, int y1, std::uint32_t rgb) {
  for (int x = x0; x < x1; ++x) {
    Set(x, y0, rgb);
    Set(x, y1 - 1, rgb);
  }
  for (int y = y0; y < y1; ++y) {
    Set(x0, y, rgb);
    Set(x1 - 1, y, rgb);
  }
}

void Canvas::FillDisc(double cx, double cy, double radius, std::uint32_t rgb) {
  // Pixel centres inside the circle.
  for (int y = static_cast<int>(cy - radius) - 1; y <= static_cast<int>(cy + radius) + 1; ++y)
    for (int x = static_cast<int>(cx - radius) - 1; x <= static_cast<int>(cx + radius) + 1; ++x) {
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      if (dx * dx + dy * dy <= radius * radius) Set(x, y, rgb);
    }
}

std::uint32_t ArtColour(char c) {
  switch (c) {
    case '.': return vga::Silver;
    case 'k': return vga::Black;
    case 'w': return vga::White;
    case 'g': return vga::Grey;
    case 'n': return vga::Navy;
    case 'b': return vga::Blue;
    case 'r': return vga::Red;
    case 'm': return vga::Maroon;
    case 'y': return vga::Yellow;
    case 'o': return vga::Olive;
    case 'e': return vga::Green;
    case 'l': return vga::Lime;
    case 't': return vga::Teal;
    case 'a': return vga::Aqua;
    case 'p': return vga::Purple;
    case 'f': return vga::Fuchsia;
  }
  throw std::invalid_argument(std::string("unknown art colour '") + c + "'");
}

void Canvas::DrawArt(const std::vector<std::string_view>& rows, int x, int y, int scale) {
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      if (rows[r][c] == ' ') continue;
      const std::uint32_t rgb = ArtColour(rows[r][c]);
      const int px = x + static_cast<int>(c) * scale, py = y + static_cast<int>(r) * scale;
      FillRect(px, py, px + scale, py + scale, rgb);
    }
}

runtime::Picture Canvas::ToPicture() const {
  const runtime::HBITMAP handle = runtime::CreateCompatibleBitmap(0, width_, height_);
  runtime::Bitmap* bmp = runtime::BitmapOf(handle);
  if (!bmp || !bmp->Allocate()) {
    if (handle) runtime::DeleteObject(handle);
    return {};
  }
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* p = bmp->Row(y);
    for (int x = 0; x < width_; ++x, p += 4) {
      const std::uint32_t rgb = Get(x, y);
      p[0] = rgb & 0xFF;          // blue
      p[1] = (rgb >> 8) & 0xFF;   // green
      p[2] = (rgb >> 16) & 0xFF;  // red
      p[3] = 0;
    }
  }
  runtime::PICTDESC desc;
  desc.hbitmap = handle;
  return runtime::OleCreatePictureIndirect(desc, true);
}

runtime::Picture PictureFromArt(const std::vector<std::string_view>& rows) {
  if (rows.empty() || rows[0].empty()) throw std::invalid_argument("empty art");
  for (const auto& row : rows)
    if (row.size() != rows[0].size()) throw std::invalid_argument("ragged art row");
  Canvas canvas(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), vga::Silver);
  canvas.DrawArt(rows, 0, 0);
  return canvas.ToPicture();
}

}  // namespace infowindows
