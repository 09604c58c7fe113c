// Build-time tool: writes the program's icon, the same picture the main
// window uses, as a PNG of any size for the desktop's icon theme.
//   icon_png SIZE FILE
// The icon is resampled by area averaging, so whole multiples of its size
// keep every pixel sharp and smaller sizes blend neighbouring pixels. Its
// background colour is drawn transparent, so the desktop shows the camera
// on its own, not on a grey tile.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "infowindows/artwork.h"
#include "runtime/gdi.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void Chunk(Bytes& png, const char* type, const Bytes& data) {
  Put32(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  Put32(png, static_cast<std::uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
}

Bytes Deflate(const Bytes& raw) {
  uLongf size = compressBound(raw.size());
  Bytes z(size);
  if (compress2(z.data(), &size, raw.data(), raw.size(), Z_BEST_COMPRESSION) != Z_OK) return {};
  z.resize(size);
  return z;
}

// 8-bit RGBA rows (straight alpha), top row first; empty when compression
// fails.
Bytes Png(int width, int height, const Bytes& rgba) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes header;
  Put32(header, width);
  Put32(header, height);
  header.insert(header.end(), {8, 6, 0, 0, 0});  // depth 8, RGBA, deflate, no filter, no interlace
  Chunk(png, "IHDR", header);
  Bytes raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), rgba.begin() + y * width * 4, rgba.begin() + (y + 1) * width * 4);
  }
  const Bytes compressed = Deflate(raw);
  if (compressed.empty()) return {};
  Chunk(png, "IDAT", compressed);
  Chunk(png, "IEND", {});
  return png;
}

// Each target pixel is the average of the source area it covers, the
// background counting as transparent: the colour is that of the opaque part
// alone, the opacity the share of it.
Bytes Resample(const runtime::Bitmap& src, int size, std::uint32_t background) {
  const double scale = static_cast<double>(src.width) / size;
  Bytes out(static_cast<std::size_t>(size) * size * 4);
  for (int ty = 0; ty < size; ++ty) {
    for (int tx = 0; tx < size; ++tx) {
      double sum[3] = {0, 0, 0}, area = 0, opaque = 0;
      const double x0 = tx * scale, x1 = (tx + 1) * scale, y0 = ty * scale, y1 = (ty + 1) * scale;
      for (int sy = static_cast<int>(y0); sy < y1 && sy < src.height; ++sy) {
        const double h = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
        const std::uint8_t* row = src.Row(sy);
        for (int sx = static_cast<int>(x0); sx < x1 && sx < src.width; ++sx) {
          const double w = (std::min<double>(sx + 1, x1) - std::max<double>(sx, x0)) * h;
          const std::uint8_t* p = row + sx * 4;  // memory order is BGRX
          area += w;
          if ((static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0]) == background) continue;
          for (int c = 0; c < 3; ++c) sum[c] += w * p[2 - c];
          opaque += w;
        }
      }
      std::uint8_t* q = &out[(static_cast<std::size_t>(ty) * size + tx) * 4];
      for (int c = 0; c < 3; ++c) q[c] = opaque > 0 ? static_cast<std::uint8_t>(sum[c] / opaque + 0.5) : 0;
      q[3] = static_cast<std::uint8_t>(255 * opaque / area + 0.5);
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int size = argc == 3 ? std::atoi(argv[1]) : 0;
  if (size < 1 || size > 1024) {
    std::fprintf(stderr, "usage: icon_png SIZE FILE (SIZE 1 to 1024)\n");
    return 2;
  }
  const runtime::Picture icon = infowindows::ProductIcon();
  const runtime::Bitmap* bitmap = runtime::BitmapOf(icon.Handle());
  if (!bitmap || !bitmap->bits || bitmap->width != bitmap->height) {
    std::fprintf(stderr, "icon_png: the icon has no square picture\n");
    return 1;
  }
  const Bytes png = Png(size, size, Resample(*bitmap, size, infowindows::kIconBackground));
  if (png.empty()) {
    std::fprintf(stderr, "icon_png: cannot compress the picture\n");
    return 1;
  }
  std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  file.close();
  if (!file) {
    std::fprintf(stderr, "icon_png: cannot write %s\n", argv[2]);
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}
