// What the portable core needs from the window system. Each backend
// (x11, win32) implements these; nothing outside runtime/ calls them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "runtime/gdi.h"

namespace runtime {
class FileSink;
}

namespace runtime::platform {

struct DisplayCaps {
  int bitsPixel = 24;
  bool palette = false;  // a palette (PseudoColor) display
  int paletteSize = 0;
};

// Opens the connection to the window system on first use; false when there
// is no display to talk to.
bool Connect();
// Why Connect failed, in the backend's words.
std::string ConnectFailure();
// Why the screen as a whole cannot be read on this connection; nullptr
// when it can.
const char* ScreenUnreadable();
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

// Reads size bytes at offset of the file fd into data, however many calls
// it takes; false on an error or before the end of the file.
bool ReadAt(int fd, void* data, std::size_t size, std::size_t offset);

// Zeroed memory for pixels, or nullptr when there is none to be had.
std::shared_ptr<void> AllocatePixels(std::size_t size);

// Pixels held in a file in memory: the picture of a screen capture. Its
// pixels are filled and read through the file, never by faulting pages of
// a view in one by one, which is dear under a hypervisor that shadows the
// page tables (several microseconds a fault); a view is there for the
// pixels a caller touches.
class PixelFile {
 public:
  // A file of size zero bytes; nullptr when none can be made.
  static std::shared_ptr<PixelFile> Create(std::size_t size);
  PixelFile(const PixelFile&) = delete;
  PixelFile& operator=(const PixelFile&) = delete;
  ~PixelFile();

  std::size_t size() const { return size_; }
  // Fills [offset, offset + size) of the file.
  bool Write(const void* data, std::size_t size, std::size_t offset);
  // Copies size bytes from offset into data; false when they cannot be read.
  bool Read(void* data, std::size_t size, std::size_t offset) const;
  // The file's own pages mapped at a new address; the result owns them.
  // What is written through it is in the file, so the file always holds
  // what its view shows.
  std::shared_ptr<void> View() const;

  // The whole file into dst's memory (given memory first when it has
  // none); false when the sizes differ or it cannot be read.
  bool CopyInto(Bitmap& dst) const;
  // Hands the whole file to out in pieces and returns how many bytes went;
  // fewer than size() when the file could not be read to the end.
  std::size_t WriteTo(FileSink& out) const;

 private:
  PixelFile() = default;
  int fd_ = -1;
  std::size_t size_ = 0;
};

}  // namespace runtime::platform
