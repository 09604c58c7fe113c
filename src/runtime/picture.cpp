#include "runtime/picture.h"

#include <cstring>
#include <vector>

#include "runtime/error.h"
#include "runtime/fileio.h"
#include "runtime/gdi.h"
#include "runtime/platform.h"

namespace runtime {

Picture::Owner::~Owner() {
  if (!own) return;
  if (bitmap) DeleteObject(bitmap);
  if (palette) DeleteObject(palette);
}

std::int32_t Picture::PixelWidth() const {
  const Bitmap* b = BitmapOf(Handle());
  return b ? b->width : 0;
}

std::int32_t Picture::PixelHeight() const {
  const Bitmap* b = BitmapOf(Handle());
  return b ? b->height : 0;
}

namespace {
std::int32_t Himetric(std::int32_t pixels) {
  return static_cast<std::int32_t>((std::int64_t{pixels} * 2540 + 48) / 96);
}
}  // namespace

std::int32_t Picture::Width() const {
  if (!owner_) Raise(kErrObjectNotSet, "Object variable or With block variable not set");
  return Himetric(PixelWidth());
}

std::int32_t Picture::Height() const {
  if (!owner_) Raise(kErrObjectNotSet, "Object variable or With block variable not set");
  return Himetric(PixelHeight());
}

Picture OleCreatePictureIndirect(const PICTDESC& desc, bool own) {
  Picture picture;
  if (desc.picType != 1) return picture;
  picture.owner_ = std::make_shared<Picture::Owner>();
  picture.owner_->bitmap = desc.hbitmap;
  picture.owner_->palette = desc.hpal;
  picture.owner_->own = own;
  return picture;
}

namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = v & 0xFF;
  p[1] = v >> 8;
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * i)) & 0xFF;
}

void WriteBmp(const Bitmap& bmp, FileSink& out) {
  const std::uint32_t stride = ((static_cast<std::uint32_t>(bmp.width) * 3 + 3) & ~3u);
  const std::uint64_t imageSize = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(bmp.height);
  if (imageSize + 54 > 0xFFFFFFFFull) Raise(kErrOverflow, "Overflow");
  std::uint8_t header[54] = {};
  header[0] = 'B';
  header[1] = 'M';
  Put32(header + 2, static_cast<std::uint32_t>(54 + imageSize));
  Put32(header + 10, 54);
  Put32(header + 14, 40);
  Put32(header + 18, static_cast<std::uint32_t>(bmp.width));
  Put32(header + 22, static_cast<std::uint32_t>(bmp.height));  // positive: bottom-up
  Put16(header + 26, 1);
  Put16(header + 28, 24);
  Put32(header + 34, static_cast<std::uint32_t>(imageSize));
  Put32(header + 38, 3780);  // 96 dpi
  Put32(header + 42, 3780);

  out.Write(header, sizeof header);
  const int bytes = bmp.bitsPixel / 8;
  if (bytes == 3 && bmp.bottomUp && static_cast<std::uint32_t>(bmp.stride) == stride) {
    // Already the file's layout, pad bytes included. Pixels that live in a
    // memory file are read from it (a view never read would fault on every
    // page); what it cannot give comes from memory.
    const std::size_t done = bmp.file && bmp.file->size() == imageSize ? bmp.file->WriteTo(out) : 0;
    out.Write(bmp.bits + done, imageSize - done);
    return;
  }
  std::vector<std::uint8_t> row(stride, 0);
  for (std::int32_t y = bmp.height - 1; y >= 0; --y) {
    const std::uint8_t* s = bmp.Row(y);
    if (bytes == 3) {
      std::memcpy(row.data(), s, static_cast<std::size_t>(bmp.width) * 3);
    } else {
      std::uint8_t* d = row.data();
      for (std::int32_t x = 0; x < bmp.width; ++x, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
      }
    }
    out.Write(row.data(), stride);
  }
}

}  // namespace

void SavePicture(const Picture& picture, const std::string& fileName) {
  Bitmap* bmp = BitmapOf(picture.Handle());
  if (!bmp || !bmp->bits || bmp->bitsPixel < 24) Raise(481, "Invalid picture");
  WriteFileSafely(fileName, [&](FileSink& out) { WriteBmp(*bmp, out); });
}

}  // namespace runtime
