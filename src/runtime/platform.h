// What the portable core needs from the window system. Each backend
// (x11, win32) implements these; nothing outside runtime/ calls them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "runtime/gdi.h"

namespace runtime::platform {

struct DisplayCaps {
  int bitsPixel = 24;
  bool palette = false;  // a palette (PseudoColor) display
  int paletteSize = 0;
};

// Opens the connection to the window system on first use; false when there
// is no display to talk to.
bool Connect();
DisplayCaps GetDisplayCaps();
// Place and size of the primary screen (monitor) on the desktop, in pixels.
void PrimaryScreenRect(std::int32_t& left, std::int32_t& top, std::int32_t& width, std::int32_t& height);
// Copies the colormap of a palette display; returns the entries copied.
std::uint32_t SystemPalette(std::uint32_t start, std::uint32_t count, PALETTEENTRY* out);
// Fills width x height pixels of dst (32-bit BGRX, top-down) at (dstX, dstY)
// with what the screen shows at (srcX, srcY) of the window's whole-window
// (wholeWindow) or client area. Pixels that lie off the screen come back
// black. dst may be unallocated when the rectangle covers it exactly; the
// backend then gives it storage. False when the window no longer exists.
bool ReadWindowPixels(HWND hwnd, bool wholeWindow, std::int32_t srcX, std::int32_t srcY,
                      std::int32_t width, std::int32_t height, Bitmap& dst, std::int32_t dstX,
                      std::int32_t dstY);

// Zeroed memory for pixels, or nullptr when there is none to be had. Large
// buffers come with their pages already mapped.
std::shared_ptr<void> AllocatePixels(std::size_t size);

}  // namespace runtime::platform
