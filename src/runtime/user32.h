// Window services with the names and contracts of the calls the program is
// written against. Handles are X window ids on Linux, HWNDs on Windows.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/types.h"

namespace runtime {

// Exact caption match over the top-level windows; 0 when none. A null or
// empty class name matches any class.
HWND FindWindowA(const char* className, const char* caption);
// Outer rectangle in screen pixels (frame included); false and an empty
// rectangle when the window does not exist.
bool GetWindowRect(HWND hwnd, RECT* rect);
HWND GetDesktopWindow();
bool GetCursorPos(POINTAPI* point);
HWND WindowFromPoint(std::int32_t x, std::int32_t y);
HWND GetParent(HWND hwnd);
bool SetWindowPos(HWND hwnd, HWND insertAfter, std::int32_t x, std::int32_t y, std::int32_t cx,
                  std::int32_t cy, std::uint32_t flags);
HWND SetFocus(HWND hwnd);
bool IsWindow(HWND hwnd);
// Why the screen does not show the window, as the end of a sentence about
// it ("is not shown ..."); nullptr when it shows it, wholly or in part.
const char* WhyNotOnScreen(HWND hwnd);

}  // namespace runtime

namespace runtime {
// Whether a display can be reached (opens the connection on first call).
bool HasDisplay();
// Why no display could be reached, as one line in the backend's words.
std::string NoDisplayReason();
// Why a capture of the whole screen gave nothing, as one line: where the
// display lets no program read the screen (a Wayland desktop), the cause
// and what to do instead.
std::string ScreenNotCapturedReason();
}  // namespace runtime
