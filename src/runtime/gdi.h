// GDI-style device contexts, bitmaps and palettes. Memory DCs, bitmaps and
// DIB sections are plain pixel buffers owned by the portable core; a window
// DC reads the screen through the platform backend.
#pragma once
#include <cstdint>
#include <memory>

#include "runtime/types.h"

namespace runtime {

namespace platform {
class PixelFile;
}

// Pixels of a bitmap. Device bitmaps are 32-bit BGRX top-down, except that
// a screen capture may come in the 24-bit bottom-up layout of a DIB section;
// DIB sections are whatever their header says (the program uses 24-bit
// bottom-up).
struct Bitmap {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bitsPixel = 32;
  std::int32_t stride = 0;  // bytes per memory row
  bool bottomUp = false;    // memory row 0 is the picture's bottom row
  std::uint8_t* bits = nullptr;
  std::shared_ptr<void> storage;  // owns bits (heap or shared memory)
  bool section = false;           // a DIB section: callers hold its bits
  // The memory file whose view bits is (a screen capture), else null. What
  // is written through bits is in the file, so whoever writes, the file
  // holds the pixels: a whole copy or a bitmap file reads them from it.
  std::shared_ptr<platform::PixelFile> file;

  // Address of picture row y (0 = top), whatever the memory order.
  std::uint8_t* Row(std::int32_t y) const {
    return bits + static_cast<std::ptrdiff_t>(bottomUp ? height - 1 - y : y) * stride;
  }
  // Gives the bitmap zeroed heap storage; false when memory runs out.
  bool Allocate();
};

HDC GetDC(HWND hwnd);        // client area of a window (0 = the screen)
HDC GetWindowDC(HWND hwnd);  // whole window, frame included
int ReleaseDC(HWND hwnd, HDC hdc);
HDC CreateCompatibleDC(HDC hdc);
HBITMAP CreateCompatibleBitmap(HDC hdc, std::int32_t width, std::int32_t height);
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFOHEADER* header, std::uint32_t usage,
                         std::uint8_t** bits, HANDLE section, std::uint32_t offset);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
bool DeleteObject(HGDIOBJ object);
bool DeleteDC(HDC hdc);
bool BitBlt(HDC dst, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
            HDC src, std::int32_t srcX, std::int32_t srcY, std::uint32_t rop);
int GetDeviceCaps(HDC hdc, int index);
std::uint32_t GetSystemPaletteEntries(HDC hdc, std::uint32_t start, std::uint32_t count,
                                      PALETTEENTRY* entries);
HPALETTE CreatePalette(const LOGPALETTE* palette);
HPALETTE SelectPalette(HDC hdc, HPALETTE palette, bool background);
std::uint32_t RealizePalette(HDC hdc);
int GetObjectA(HGDIOBJ object, int size, void* out);

// The pixels behind a bitmap handle (a device bitmap or a DIB section), or
// nullptr for a handle that is not a live bitmap.
Bitmap* BitmapOf(HBITMAP handle);
// The palette entries behind a palette handle, or nullptr.
const LOGPALETTE* PaletteOf(HPALETTE handle);
// Number of live GDI objects and DCs; for leak checks in tests.
std::size_t LiveGdiObjects();

}  // namespace runtime
