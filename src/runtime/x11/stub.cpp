// Placeholder until the XCB backend lands.
#include "runtime/platform.h"
#include "runtime/user32.h"

namespace runtime {
namespace platform {
bool Connect() { return false; }
DisplayCaps GetDisplayCaps() { return {}; }
void PrimaryScreenSize(std::int32_t& w, std::int32_t& h) { w = h = 0; }
std::uint32_t SystemPalette(std::uint32_t, std::uint32_t, PALETTEENTRY*) { return 0; }
bool ReadWindowPixels(HWND, bool, std::int32_t, std::int32_t, std::int32_t, std::int32_t, Bitmap&, std::int32_t,
                      std::int32_t) { return false; }
}  // namespace platform
HWND FindWindowA(const char*, const char*) { return 0; }
bool GetWindowRect(HWND, RECT* r) { *r = {}; return false; }
HWND GetDesktopWindow() { return 0; }
bool GetCursorPos(POINTAPI* p) { *p = {}; return false; }
HWND WindowFromPoint(std::int32_t, std::int32_t) { return 0; }
HWND GetParent(HWND) { return 0; }
bool SetWindowPos(HWND, HWND, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::uint32_t) { return false; }
HWND SetFocus(HWND) { return 0; }
bool IsWindow(HWND) { return false; }
}  // namespace runtime
