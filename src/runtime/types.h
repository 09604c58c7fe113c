// Handles, records and constants of the platform calls the program is written
// against. On Linux the values are ours; on Windows they match the real ones.
#pragma once
#include <cstdint>

namespace runtime {

using HWND = std::int32_t;       // a window: the X window id on Linux
using HANDLE = std::intptr_t;    // a graphics object: 0 means none
using HDC = HANDLE;
using HBITMAP = HANDLE;
using HPALETTE = HANDLE;
using HGDIOBJ = HANDLE;

struct RECT {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};
struct POINTAPI {
  std::int32_t X = 0, Y = 0;
};

struct PALETTEENTRY {
  std::uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
};
struct LOGPALETTE {
  std::uint16_t palVersion = 0x300;
  std::uint16_t palNumEntries = 256;
  PALETTEENTRY palPalEntry[256];
};

struct BITMAP {  // the 24-byte record GetObjectA fills for a bitmap
  std::int32_t bmType = 0, bmWidth = 0, bmHeight = 0, bmWidthBytes = 0;
  std::uint16_t bmPlanes = 0, bmBitsPixel = 0;
  std::uint8_t* bmBits = nullptr;
};

struct BITMAPINFOHEADER {
  std::int32_t biSize = 0, biWidth = 0, biHeight = 0;
  std::uint16_t biPlanes = 0, biBitCount = 0;
  std::int32_t biCompression = 0, biSizeImage = 0, biXPelsPerMeter = 0, biYPelsPerMeter = 0;
  std::int32_t biClrUsed = 0, biClrImportant = 0;
};

inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;
inline constexpr int RASTERCAPS = 38;
inline constexpr int SIZEPALETTE = 104;
inline constexpr int BITSPIXEL = 12;
inline constexpr int RC_PALETTE = 0x100;
inline constexpr std::uint32_t DIB_RGB_COLORS = 0;

inline constexpr HWND HWND_TOP = 0;
inline constexpr HWND HWND_BOTTOM = 1;
inline constexpr HWND HWND_TOPMOST = -1;
inline constexpr HWND HWND_NOTOPMOST = -2;
inline constexpr std::uint32_t SWP_NOSIZE = 0x0001;
inline constexpr std::uint32_t SWP_NOMOVE = 0x0002;
inline constexpr std::uint32_t SWP_NOACTIVATE = 0x0010;
inline constexpr std::uint32_t SWP_SHOWWINDOW = 0x0040;

inline constexpr HANDLE HKEY_CURRENT_USER = static_cast<std::int32_t>(0x80000001);
inline constexpr std::uint32_t REG_SZ = 1;

inline constexpr int CF_BITMAP = 2;

}  // namespace runtime
