#include "fuzz/fake_desktop.h"

#include <algorithm>
#include <cstdio>
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
      {101, "Untitled - Notes", 2, 3, 9, 7, Window::OnScreen},
      {102, "Untitled - Notes", 5, 5, 6, 4, Window::OnScreen},  // a twin, lower down
      {103, "Café", 1, 1, 5, 5, Window::Unmapped},
      {104, "", 0, 0, 8, 8, Window::InputOnly},
      {105, "Screenshots", 60, 2, 5, 5, Window::OnScreen},  // wholly off the root
      {106, "big", -3, -2, 50, 30, Window::OnScreen},       // larger than the root
      {107, "/SCREEN", 30, 20, 1, 1, Window::OnScreen},
  };
  return windows;
}

Settings& Setup() {
  static Settings settings;
  return settings;
}

Journal& Log() {
  static Journal journal;
  return journal;
}

void Reset() { Log() = {}; }

namespace {

const Window* Find(runtime::HWND hwnd) {
  for (const Window& w : Windows())
    if (w.id == hwnd) return &w;
  return nullptr;
}

bool Shown(const Window& w) {
  return w.state == Window::OnScreen && w.x < kRootWidth && w.y < kRootHeight && w.x + w.width > 0 &&
         w.y + w.height > 0;
}

}  // namespace
}  // namespace fakedesktop

using namespace fakedesktop;

namespace runtime::platform {

bool Connect() { return Setup().display; }

DisplayCaps GetDisplayCaps() { return {}; }

void PrimaryScreenRect(std::int32_t& left, std::int32_t& top, std::int32_t& width, std::int32_t& height) {
  left = kPrimaryLeft;
  top = 0;
  width = kPrimaryWidth;
  height = kRootHeight;
}

std::uint32_t SystemPalette(std::uint32_t, std::uint32_t, PALETTEENTRY*) { return 0; }

bool ReadWindowPixels(HWND hwnd, bool, std::int32_t srcX, std::int32_t srcY, std::int32_t width, std::int32_t height,
                      Bitmap& dst, std::int32_t dstX, std::int32_t dstY) {
  Log().reads.push_back(hwnd);
  if (!Setup().display || Setup().readsFail || (dst.bitsPixel != 24 && dst.bitsPixel != 32)) return false;
  std::int32_t originX = 0, originY = 0;
  if (hwnd != 0 && hwnd != kRoot) {
    const Window* w = fakedesktop::Find(hwnd);
    if (!w || !Shown(*w)) return false;
    originX = w->x;
    originY = w->y;
  }
  if (!dst.bits && !dst.Allocate()) return false;
  // A pattern that tells where each pixel came from.
  const int bytes = dst.bitsPixel / 8;
  for (std::int32_t y = std::max(0, dstY); y < std::min(dst.height, dstY + height); ++y)
    for (std::int32_t x = std::max(0, dstX); x < std::min(dst.width, dstX + width); ++x) {
      std::uint8_t* p = dst.Row(y) + x * bytes;
      p[0] = static_cast<std::uint8_t>(originX + srcX + x - dstX);
      p[1] = static_cast<std::uint8_t>(originY + srcY + y - dstY);
      p[2] = static_cast<std::uint8_t>(hwnd);
    }
  return true;
}

}  // namespace runtime::platform

namespace runtime {

HWND FindWindowA(const char* className, const char* caption) {
  if (!Setup().display || !caption) return 0;
  for (const Window& w : Windows())
    if (w.caption == caption) return w.id;
  return 0;
}

bool GetWindowRect(HWND hwnd, RECT* rect) {
  if (!rect) return false;
  *rect = {};
  if (hwnd == kRoot) {
    *rect = {0, 0, kRootWidth, kRootHeight};
    return true;
  }
  const Window* w = fakedesktop::Find(hwnd);
  if (!w) return false;
  *rect = {w->x, w->y, w->x + w->width, w->y + w->height};
  return true;
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
bool IsWindow(HWND hwnd) { return hwnd == kRoot || fakedesktop::Find(hwnd); }

const char* WhyNotOnScreen(HWND hwnd) {
  const Window* w = fakedesktop::Find(hwnd);
  if (hwnd == kRoot) return nullptr;
  if (!w) return "does not exist";
  return Shown(*w) ? nullptr : "is not shown";
}

namespace {
std::string fileBytes;  // what the file being written has received so far
thread_local std::optional<RuntimeError> lastWriteError;
}  // namespace

FileSink::FileSink(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
void FileSink::Write(const void* data, std::size_t size) { fileBytes.append(static_cast<const char*>(data), size); }
void FileSink::Flush() {}

void WriteFileSafely(const std::string& path, const std::function<void(FileSink&)>& write, const WriteOptions&) {
  lastWriteError.reset();
  try {
    if (Setup().writesFail) Raise(kErrDeviceIO, "no space left on the device: " + path);
    fileBytes.clear();
    FileSink sink(-1, path);
    write(sink);
    sink.Flush();
  } catch (const RuntimeError& e) {
    lastWriteError = e;
    throw;
  }
  Log().lastBytes = fileBytes.substr(0, 4);
  Log().written.push_back(path);
}

std::optional<RuntimeError> LastWriteError() { return lastWriteError; }

}  // namespace runtime
