// Screen capture and display properties on Windows: the real GDI calls.
// Pixels are always read from the screen's own device context over the
// window's rectangle, never from the window's DC: a window framed by
// someone else (a window manager under Wine, the DWM on Windows) has no
// frame pixels of its own, and its DC gives a black caption.
#include "runtime/platform.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace runtime::platform {
namespace {

::HWND Native(HWND hwnd) { return reinterpret_cast<::HWND>(static_cast<INT_PTR>(hwnd)); }

// A device context for the whole desktop, released however the caller ends.
class ScreenDC {
 public:
  ScreenDC() : dc_(::GetDC(nullptr)) {}
  ~ScreenDC() {
    if (dc_) ::ReleaseDC(nullptr, dc_);
  }
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;
  ::HDC get() const { return dc_; }

 private:
  ::HDC dc_;
};

struct Area {
  std::int32_t x = 0, y = 0, width = 0, height = 0;
  bool Empty() const { return width <= 0 || height <= 0; }
};

Area Intersect(const Area& a, const Area& b) {
  const std::int64_t left = std::max(a.x, b.x), top = std::max(a.y, b.y);
  const std::int64_t right = std::min(std::int64_t{a.x} + a.width, std::int64_t{b.x} + b.width);
  const std::int64_t bottom = std::min(std::int64_t{a.y} + a.height, std::int64_t{b.y} + b.height);
  if (right <= left || bottom <= top) return {};
  return {static_cast<std::int32_t>(left), static_cast<std::int32_t>(top), static_cast<std::int32_t>(right - left),
          static_cast<std::int32_t>(bottom - top)};
}

// Every monitor together, in the screen DC's coordinates.
Area VirtualScreen() {
  return {::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
          ::GetSystemMetrics(SM_CXVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

void ClearArea(Bitmap& dst, const Area& r) {
  const int bytes = dst.bitsPixel / 8;
  for (std::int32_t y = r.y; y < r.y + r.height; ++y)
    std::memset(dst.Row(y) + static_cast<std::ptrdiff_t>(r.x) * bytes, 0, static_cast<std::size_t>(r.width) * bytes);
}

// The screen's pixels of r into a 32-bit top-down DIB section, then into
// dst at (x, y) in dst's own format.
bool CopyScreen(const Area& r, Bitmap& dst, std::int32_t x, std::int32_t y) {
  ScreenDC screen;
  if (!screen.get()) return false;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = r.width;
  info.bmiHeader.biHeight = -r.height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  ::HBITMAP section = ::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!section) return false;
  ::HDC memory = ::CreateCompatibleDC(screen.get());
  bool copied = false;
  if (memory) {
    const ::HGDIOBJ previous = ::SelectObject(memory, section);
    // CAPTUREBLT: layered (translucent) windows are part of what is seen.
    copied = ::BitBlt(memory, 0, 0, r.width, r.height, screen.get(), r.x, r.y, SRCCOPY | CAPTUREBLT);
    ::GdiFlush();
    ::SelectObject(memory, previous);
    ::DeleteDC(memory);
  }
  if (copied) {
    const auto* rows = static_cast<const std::uint8_t*>(bits);
    const std::size_t stride = static_cast<std::size_t>(r.width) * 4;
    const int bytes = dst.bitsPixel / 8;
    for (std::int32_t row = 0; row < r.height; ++row) {
      const std::uint8_t* src = rows + stride * static_cast<std::size_t>(row);
      std::uint8_t* out = dst.Row(y + row) + static_cast<std::ptrdiff_t>(x) * bytes;
      if (bytes == 4) {
        // The fourth byte of a screen pixel is undefined; BGRX keeps it 0.
        for (std::int32_t i = 0; i < r.width; ++i, src += 4, out += 4) {
          out[0] = src[0];
          out[1] = src[1];
          out[2] = src[2];
          out[3] = 0;
        }
      } else {
        for (std::int32_t i = 0; i < r.width; ++i, src += 4, out += 3) {
          out[0] = src[0];
          out[1] = src[1];
          out[2] = src[2];
        }
      }
    }
  }
  ::DeleteObject(section);
  return copied;
}

}  // namespace

bool ReadWindowPixels(HWND hwnd, bool wholeWindow, std::int32_t srcX, std::int32_t srcY, std::int32_t width,
                      std::int32_t height, Bitmap& dst, std::int32_t dstX, std::int32_t dstY) {
  if (dst.bitsPixel != 24 && dst.bitsPixel != 32) return false;
  // Where the window's drawing origin lies on the screen.
  ::POINT origin{0, 0};
  if (hwnd != 0) {
    const ::HWND w = Native(hwnd);
    // A window the screen does not show has no pixels of its own to give.
    if (!::IsWindow(w) || !::IsWindowVisible(w) || ::IsIconic(w)) return false;
    if (wholeWindow) {
      ::RECT r{};
      if (!::GetWindowRect(w, &r)) return false;
      origin = {r.left, r.top};
    } else if (!::ClientToScreen(w, &origin)) {
      return false;
    }
  }
  const Area target = Intersect({dstX, dstY, width, height}, {0, 0, dst.width, dst.height});
  if (target.Empty()) return true;
  const Area wanted{origin.x + srcX + (target.x - dstX), origin.y + srcY + (target.y - dstY), target.width,
                    target.height};
  const Area visible = Intersect(wanted, VirtualScreen());
  const bool whole = visible.x == wanted.x && visible.y == wanted.y && visible.width == wanted.width &&
                     visible.height == wanted.height;
  if (!dst.bits) {
    if (!dst.Allocate()) return false;  // zeroed: what lies off the screen is black
  } else if (!whole) {
    ClearArea(dst, {target.x, target.y, target.width, target.height});
  }
  if (visible.Empty()) return true;
  return CopyScreen(visible, dst, target.x + (visible.x - wanted.x), target.y + (visible.y - wanted.y));
}

DisplayCaps GetDisplayCaps() {
  DisplayCaps caps;
  ScreenDC screen;
  if (!screen.get()) return caps;
  caps.bitsPixel = ::GetDeviceCaps(screen.get(), BITSPIXEL) * ::GetDeviceCaps(screen.get(), PLANES);
  caps.palette = (::GetDeviceCaps(screen.get(), RASTERCAPS) & RC_PALETTE) != 0;
  caps.paletteSize = caps.palette ? ::GetDeviceCaps(screen.get(), SIZEPALETTE) : 0;
  return caps;
}

std::uint32_t SystemPalette(std::uint32_t start, std::uint32_t count, PALETTEENTRY* out) {
  if (!out || !GetDisplayCaps().palette) return 0;
  ScreenDC screen;
  if (!screen.get()) return 0;
  static_assert(sizeof(::PALETTEENTRY) == sizeof(PALETTEENTRY));
  return ::GetSystemPaletteEntries(screen.get(), start, count, reinterpret_cast<::PALETTEENTRY*>(out));
}

void PrimaryScreenRect(std::int32_t& left, std::int32_t& top, std::int32_t& width, std::int32_t& height) {
  left = top = width = height = 0;
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (const HMONITOR m = ::MonitorFromPoint(::POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY); m && ::GetMonitorInfoW(m, &info)) {
    left = info.rcMonitor.left;
    top = info.rcMonitor.top;
    width = info.rcMonitor.right - info.rcMonitor.left;
    height = info.rcMonitor.bottom - info.rcMonitor.top;
    return;
  }
  width = ::GetSystemMetrics(SM_CXSCREEN);
  height = ::GetSystemMetrics(SM_CYSCREEN);
}

}  // namespace runtime::platform
