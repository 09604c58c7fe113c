#include "fuzz/fake_desktop.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "runtime/error.h"
#include "runtime/fileio.h"
#include "runtime/gdi.h"
#include "runtime/platform.h"
#include "runtime/user32.h"

namespace fakedesktop {

const std::vector<Window>& Windows() {
  static const std::vector<Window> windows = {
      {101, "Untitled - Notes", 2, 3, 9, 7, true},
      {102, "Untitled - Notes", 5, 5, 6, 4, true},  // a twin, lower down
      {103, "Café", 1, 1, 5, 5, false},
      {104, "", 0, 0, 8, 8, false},
      {105, "Screenshots", 60, 2, 5, 5, true},  // wholly off the root
      {106, "big", -3, -2, 50, 30, true},       // larger than the root
      {107, "/SCREEN", 30, 20, 1, 1, true},
  };
  return windows;
}

State& Desk() {
  static State state;
  return state;
}

}  // namespace fakedesktop

namespace runtime {
namespace {

using namespace fakedesktop;

const Window* Find(HWND hwnd) {
  for (const Window& w : Windows())
    if (w.id == hwnd) return &w;
  return nullptr;
}

bool Shown(const Window& w) {
  return w.mapped && w.x < kRootWidth && w.y < kRootHeight && w.x + w.width > 0 && w.y + w.height > 0;
}

std::string fileBytes;  // what the file being written has received so far
thread_local std::optional<RuntimeError> lastWriteError;

}  // namespace

namespace platform {

bool Connect() { return Desk().display; }
std::string ConnectFailure() { return "cannot open the X display (is DISPLAY set?)"; }
const char* ScreenUnreadable() { return nullptr; }
DisplayCaps GetDisplayCaps() { return {}; }
// The primary monitor: the right half of the root.
void PrimaryScreenRect(std::int32_t& left, std::int32_t& top, std::int32_t& width, std::int32_t& height) {
  left = width = kRootWidth / 2, top = 0, height = kRootHeight;
}
std::uint32_t SystemPalette(std::uint32_t, std::uint32_t, PALETTEENTRY*) { return 0; }

bool ReadWindowPixels(HWND hwnd, bool, std::int32_t srcX, std::int32_t srcY, std::int32_t width, std::int32_t height,
                      Bitmap& dst, std::int32_t dstX, std::int32_t dstY) {
  if (!Desk().display || Desk().readsFail || (dst.bitsPixel != 24 && dst.bitsPixel != 32)) return false;
  const Window* w = hwnd == 0 || hwnd == kRoot ? nullptr : Find(hwnd);
  if (hwnd != 0 && hwnd != kRoot && (!w || !Shown(*w))) return false;
  if (!dst.bits && !dst.Allocate()) return false;
  // A pattern that tells where each pixel came from.
  for (std::int32_t y = std::max(0, dstY); y < std::min(dst.height, dstY + height); ++y)
    for (std::int32_t x = std::max(0, dstX); x < std::min(dst.width, dstX + width); ++x) {
      std::uint8_t* p = dst.Row(y) + x * (dst.bitsPixel / 8);
      p[0] = static_cast<std::uint8_t>((w ? w->x : 0) + srcX + x - dstX);
      p[1] = static_cast<std::uint8_t>((w ? w->y : 0) + srcY + y - dstY);
      p[2] = static_cast<std::uint8_t>(hwnd);
    }
  return true;
}

}  // namespace platform

HWND FindWindowA(const char*, const char* caption) {
  for (const Window& w : Windows())
    if (Desk().display && caption && w.caption == caption) return w.id;
  return 0;
}

bool GetWindowRect(HWND hwnd, RECT* rect) {
  const Window* w = Find(hwnd);
  if (rect && hwnd == kRoot) *rect = {0, 0, kRootWidth, kRootHeight};
  else if (rect) *rect = w ? RECT{w->x, w->y, w->x + w->width, w->y + w->height} : RECT{};
  return rect && (hwnd == kRoot || w);
}

HWND GetDesktopWindow() { return kRoot; }
bool GetCursorPos(POINTAPI* point) {
  if (point) *point = {};
  return false;
}
HWND WindowFromPoint(std::int32_t, std::int32_t) { return 0; }
HWND GetParent(HWND) { return 0; }
bool SetWindowPos(HWND, HWND, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::uint32_t) { return false; }
HWND SetFocus(HWND) { return 0; }
bool IsWindow(HWND hwnd) { return hwnd == kRoot || Find(hwnd); }
const char* WhyNotOnScreen(HWND hwnd) {
  if (hwnd == kRoot) return nullptr;
  if (!Find(hwnd)) return "does not exist";
  return Shown(*Find(hwnd)) ? nullptr : "is not shown";
}

FileSink::FileSink(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
void FileSink::Write(const void* data, std::size_t size) { fileBytes.append(static_cast<const char*>(data), size); }
void FileSink::Flush() {}

void WriteFileSafely(const std::string& path, const std::function<void(FileSink&)>& write, const WriteOptions&) {
  lastWriteError.reset();
  try {
    if (Desk().writesFail) Raise(kErrDeviceIO, "no space left on the device: " + path);
    fileBytes.clear();
    FileSink sink(-1, path);
    write(sink);
  } catch (const RuntimeError& e) {
    lastWriteError = e;
    throw;
  }
  Desk().lastBytes = fileBytes.substr(0, 4);
  Desk().written.push_back(path);
}

// The disk in memory holds nothing another user could have planted.
void CheckNothingPlanted(const std::string&) {}

std::optional<RuntimeError> LastWriteError() { return lastWriteError; }

}  // namespace runtime
