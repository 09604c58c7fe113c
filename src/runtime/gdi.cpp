#include "runtime/gdi.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>
#include <variant>

#include "runtime/platform.h"

namespace runtime {
namespace {

struct DeviceContext {
  bool memory = true;
  HWND window = 0;          // window DCs: whose
  bool wholeWindow = false;  // window DCs: frame included
  HBITMAP bitmap = 0;       // memory DCs: the selected bitmap
  HPALETTE palette = 0;
};

struct Palette {
  LOGPALETTE entries;
};

using Object = std::variant<Bitmap, Palette, DeviceContext>;

struct Table {
  std::unordered_map<HANDLE, Object> objects;
  HANDLE next = 0x1000;
  HBITMAP stockBitmap = 0;  // the 1x1 bitmap a new memory DC holds
  HPALETTE stockPalette = 0;
};

// Never destroyed: pictures held by static forms are freed at exit, after
// function-local statics constructed later would already be gone.
Table& T() {
  static Table* table = new Table;
  return *table;
}

template <typename T_>
T_* Find(HANDLE h) {
  auto it = T().objects.find(h);
  return it == T().objects.end() ? nullptr : std::get_if<T_>(&it->second);
}

HANDLE Add(Object object) {
  HANDLE h = T().next++;
  T().objects.emplace(h, std::move(object));
  return h;
}

HBITMAP StockBitmap() {
  if (!T().stockBitmap) {
    Bitmap b;
    b.width = b.height = 1;
    b.bitsPixel = 1;
    T().stockBitmap = Add(std::move(b));
  }
  return T().stockBitmap;
}

HPALETTE StockPalette() {
  if (!T().stockPalette) T().stockPalette = Add(Palette{});
  return T().stockPalette;
}

// Row size in bytes; 64-bit so that absurd widths are refused, not wrapped.
std::int64_t Stride64(std::int32_t width, int bitsPixel) {
  return ((static_cast<std::int64_t>(width) * bitsPixel + 31) / 32) * 4;
}
std::int32_t Stride(std::int32_t width, int bitsPixel) { return static_cast<std::int32_t>(Stride64(width, bitsPixel)); }

// Copies a rectangle between two bitmaps of 24 or 32 bits, converting the
// pixel format; the rectangle is clipped to both.
void CopyPixels(Bitmap& dst, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, const Bitmap& src,
                std::int32_t sx, std::int32_t sy) {
  if (sx < 0) { x -= sx; w += sx; sx = 0; }
  if (sy < 0) { y -= sy; h += sy; sy = 0; }
  if (x < 0) { sx -= x; w += x; x = 0; }
  if (y < 0) { sy -= y; h += y; y = 0; }
  w = std::min({w, dst.width - x, src.width - sx});
  h = std::min({h, dst.height - y, src.height - sy});
  if (w <= 0 || h <= 0 || !src.bits || !dst.bits) return;
  const int sb = src.bitsPixel / 8, db = dst.bitsPixel / 8;
  if ((sb != 3 && sb != 4) || (db != 3 && db != 4)) return;
  for (std::int32_t row = 0; row < h; ++row) {
    const std::uint8_t* s = src.Row(sy + row) + sx * sb;
    std::uint8_t* d = dst.Row(y + row) + x * db;
    if (sb == db) {
      std::memcpy(d, s, static_cast<std::size_t>(w) * sb);
    } else if (sb == 4) {  // BGRX -> BGR
      for (std::int32_t i = 0; i < w; ++i, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
      }
    } else {  // BGR -> BGRX
      for (std::int32_t i = 0; i < w; ++i, s += 3, d += 4) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = 0;
      }
    }
  }
}

// Clears the part of a rectangle that lies inside the bitmap.
void FillBlack(Bitmap& dst, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
  const std::int64_t x0 = std::max<std::int64_t>(x, 0), y0 = std::max<std::int64_t>(y, 0);
  const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{x} + w, dst.width);
  const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{y} + h, dst.height);
  if (x0 >= x1 || y0 >= y1 || !dst.bits) return;
  const int bytes = dst.bitsPixel / 8;
  for (std::int64_t row = y0; row < y1; ++row)
    std::memset(dst.Row(static_cast<std::int32_t>(row)) + x0 * bytes, 0, static_cast<std::size_t>((x1 - x0) * bytes));
}

// A copy of all of src onto all of dst, same layout, from the file that
// holds src's pixels: read through it, not by faulting its view in.
bool CopyFromFile(Bitmap& dst, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, const Bitmap& src,
                  std::int32_t sx, std::int32_t sy) {
  if (!src.file || x != 0 || y != 0 || sx != 0 || sy != 0) return false;
  if (w != src.width || h != src.height || dst.width != src.width || dst.height != src.height ||
      dst.bitsPixel != src.bitsPixel || dst.bottomUp != src.bottomUp)
    return false;
  return src.file->CopyInto(dst);
}

}  // namespace

bool Bitmap::Allocate() {
  if (bits) return true;
  if (width <= 0 || height <= 0) return false;
  stride = Stride(width, bitsPixel);
  const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
  storage = platform::AllocatePixels(size);
  bits = static_cast<std::uint8_t*>(storage.get());
  return bits != nullptr;
}

HDC GetDC(HWND hwnd) { return Add(DeviceContext{false, hwnd, false, 0, 0}); }

HDC GetWindowDC(HWND hwnd) { return Add(DeviceContext{false, hwnd, true, 0, 0}); }

int ReleaseDC(HWND, HDC hdc) {
  auto* dc = Find<DeviceContext>(hdc);
  if (!dc || dc->memory) return 0;
  T().objects.erase(hdc);
  return 1;
}

HDC CreateCompatibleDC(HDC) { return Add(DeviceContext{true, 0, false, StockBitmap(), StockPalette()}); }

HBITMAP CreateCompatibleBitmap(HDC, std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  Bitmap b;
  b.width = width;
  b.height = height;
  b.bitsPixel = 32;
  if (Stride64(width, 32) * height > (std::int64_t{1} << 34)) return 0;
  b.stride = Stride(width, 32);
  return Add(std::move(b));  // storage comes on first use
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFOHEADER* header, std::uint32_t, std::uint8_t** bits, HANDLE,
                         std::uint32_t) {
  if (bits) *bits = nullptr;
  if (!header || header->biWidth <= 0 || header->biHeight == 0) return 0;
  if (header->biBitCount != 24 && header->biBitCount != 32) return 0;
  Bitmap b;
  b.width = header->biWidth;
  b.height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
  b.bottomUp = header->biHeight > 0;
  b.bitsPixel = header->biBitCount;
  b.section = true;
  if (Stride64(b.width, b.bitsPixel) * b.height > (std::int64_t{1} << 34)) return 0;
  if (!b.Allocate()) return 0;
  if (bits) *bits = b.bits;
  return Add(std::move(b));
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  auto* dc = Find<DeviceContext>(hdc);
  if (!dc || !dc->memory || !Find<Bitmap>(object)) return 0;
  HGDIOBJ previous = dc->bitmap;
  dc->bitmap = object;
  return previous;
}

bool DeleteObject(HGDIOBJ object) {
  if (object == T().stockBitmap || object == T().stockPalette) return true;  // stock objects live on
  if (!Find<Bitmap>(object) && !Find<Palette>(object)) return false;
  // A bitmap still selected into a DC cannot be deleted.
  for (auto& [h, o] : T().objects)
    if (auto* dc = std::get_if<DeviceContext>(&o); dc && (dc->bitmap == object || dc->palette == object)) return false;
  T().objects.erase(object);
  return true;
}

bool DeleteDC(HDC hdc) {
  auto* dc = Find<DeviceContext>(hdc);
  if (!dc || !dc->memory) return false;
  T().objects.erase(hdc);
  return true;
}

bool BitBlt(HDC dst, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, HDC src,
            std::int32_t srcX, std::int32_t srcY, std::uint32_t rop) {
  auto* d = Find<DeviceContext>(dst);
  auto* s = Find<DeviceContext>(src);
  if (!d || !s || rop != SRCCOPY || width <= 0 || height <= 0) return false;
  if (!d->memory) return false;  // drawing onto windows goes through the peers
  Bitmap* target = Find<Bitmap>(d->bitmap);
  if (!target || target->bitsPixel < 24) return false;
  if (!s->memory) {
    // From the screen: the backend may hand over its own buffer when the
    // rectangle covers a bitmap that has no storage yet.
    const bool whole = x == 0 && y == 0 && width == target->width && height == target->height;
    if (!target->bits && !whole && !target->Allocate()) return false;
    return platform::ReadWindowPixels(s->window, s->wholeWindow, srcX, srcY, width, height, *target, x, y);
  }
  Bitmap* source = Find<Bitmap>(s->bitmap);
  if (!source) return false;
  if (source != target && CopyFromFile(*target, x, y, width, height, *source, srcX, srcY)) return true;
  if (!target->Allocate()) return false;
  if (!source->bits && !source->Allocate()) return false;
  // What the source does not cover comes out black, as off-screen pixels do.
  const std::int64_t right = std::int64_t{srcX} + width, bottom = std::int64_t{srcY} + height;
  if (srcX < 0 || srcY < 0 || right > source->width || bottom > source->height)
    FillBlack(*target, x, y, width, height);
  CopyPixels(*target, x, y, width, height, *source, srcX, srcY);
  return true;
}

int GetDeviceCaps(HDC hdc, int index) {
  auto* dc = Find<DeviceContext>(hdc);
  if (!dc) return 0;
  const platform::DisplayCaps caps = platform::GetDisplayCaps();
  switch (index) {
    case RASTERCAPS: return caps.palette ? RC_PALETTE : 0;
    case SIZEPALETTE: return caps.palette ? caps.paletteSize : 0;
    case BITSPIXEL: return caps.bitsPixel;
    default: return 0;
  }
}

std::uint32_t GetSystemPaletteEntries(HDC hdc, std::uint32_t start, std::uint32_t count, PALETTEENTRY* entries) {
  if (!Find<DeviceContext>(hdc) || !entries) return 0;
  return platform::SystemPalette(start, count, entries);
}

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (!palette || palette->palNumEntries == 0 || palette->palNumEntries > 256) return 0;
  Palette p;
  p.entries = *palette;
  return Add(std::move(p));
}

HPALETTE SelectPalette(HDC hdc, HPALETTE palette, bool) {
  auto* dc = Find<DeviceContext>(hdc);
  if (!dc || !Find<Palette>(palette)) return 0;
  HPALETTE previous = dc->palette;
  dc->palette = palette;
  return previous;
}

std::uint32_t RealizePalette(HDC hdc) {
  // Device bitmaps here are true colour; the palette only travels with the
  // picture, so there is nothing to map.
  auto* dc = Find<DeviceContext>(hdc);
  if (!dc) return 0;
  const Palette* p = Find<Palette>(dc->palette);
  return p ? p->entries.palNumEntries : 0;
}

int GetObjectA(HGDIOBJ object, int size, void* out) {
  const Bitmap* b = Find<Bitmap>(object);
  if (!b || !out || size < static_cast<int>(sizeof(std::int32_t) * 4 + 4)) return 0;
  BITMAP info;
  info.bmType = 0;
  info.bmWidth = b->width;
  info.bmHeight = b->height;
  info.bmWidthBytes = Stride(b->width, b->bitsPixel);
  info.bmPlanes = 1;
  info.bmBitsPixel = b->bitsPixel;
  info.bmBits = b->section ? b->bits : nullptr;  // a device bitmap's pixels are not the caller's
  const int n = std::min<int>(size, sizeof info);
  std::memcpy(out, &info, n);
  return n;
}

Bitmap* BitmapOf(HBITMAP handle) { return handle == T().stockBitmap ? nullptr : Find<Bitmap>(handle); }

const LOGPALETTE* PaletteOf(HPALETTE handle) {
  const Palette* p = Find<Palette>(handle);
  return p && handle != T().stockPalette ? &p->entries : nullptr;
}

std::size_t LiveGdiObjects() {
  std::size_t n = T().objects.size();
  if (T().stockBitmap) --n;
  if (T().stockPalette) --n;
  return n;
}

}  // namespace runtime
