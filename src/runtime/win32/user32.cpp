// Window services on Windows: the real USER32 calls. A runtime HWND holds
// the native handle's 32 significant bits (handles are shared with 32-bit
// processes, so they fit); text crosses as UTF-8 through the wide calls.
#include "runtime/user32.h"

#include "runtime/platform.h"

#include <windows.h>

#include <string>

#include "runtime/win32/wide.h"

namespace runtime {
namespace {

::HWND Native(HWND hwnd) { return reinterpret_cast<::HWND>(static_cast<INT_PTR>(hwnd)); }
HWND Handle(::HWND hwnd) { return static_cast<HWND>(reinterpret_cast<INT_PTR>(hwnd)); }

std::wstring WindowText(::HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
  return text;
}

struct Search {
  const std::wstring* className;  // nullptr: any class
  const std::wstring* caption;    // nullptr: any caption
  ::HWND found = nullptr;
};

BOOL CALLBACK Visit(::HWND hwnd, LPARAM param) {
  auto& search = *reinterpret_cast<Search*>(param);
  if (search.caption && WindowText(hwnd) != *search.caption) return TRUE;
  if (search.className) {
    wchar_t name[257];
    const int n = GetClassNameW(hwnd, name, 257);
    // Class names ignore letter case on Windows.
    if (n <= 0 || CompareStringOrdinal(name, n, search.className->c_str(), static_cast<int>(search.className->size()),
                                       TRUE) != CSTR_EQUAL)
      return TRUE;
  }
  search.found = hwnd;
  return FALSE;
}

}  // namespace

// The caption is compared exactly (FindWindowW ignores letter case), over
// the top-level windows from the top of the stacking order down.
HWND FindWindowA(const char* className, const char* caption) {
  std::wstring wideClass, wideCaption;
  if (className && !win32::ToWide(className, wideClass)) return 0;
  if (caption && !win32::ToWide(caption, wideCaption)) return 0;
  Search search{wideClass.empty() ? nullptr : &wideClass, caption ? &wideCaption : nullptr};
  EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
  return Handle(search.found);
}

bool GetWindowRect(HWND hwnd, RECT* rect) {
  if (!rect) return false;
  *rect = {};
  ::RECT r{};
  if (!hwnd || !::IsWindow(Native(hwnd)) || !::GetWindowRect(Native(hwnd), &r)) return false;
  *rect = {r.left, r.top, r.right, r.bottom};
  return true;
}

HWND GetDesktopWindow() { return Handle(::GetDesktopWindow()); }

bool GetCursorPos(POINTAPI* point) {
  if (!point) return false;
  ::POINT p{};
  if (!::GetCursorPos(&p)) return false;
  *point = {p.x, p.y};
  return true;
}

HWND WindowFromPoint(std::int32_t x, std::int32_t y) { return Handle(::WindowFromPoint(::POINT{x, y})); }

HWND GetParent(HWND hwnd) { return hwnd ? Handle(::GetParent(Native(hwnd))) : 0; }

// The insert-after values (top, bottom, topmost, not topmost) and the flags
// have the Windows values already.
bool SetWindowPos(HWND hwnd, HWND insertAfter, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                  std::uint32_t flags) {
  return hwnd && ::SetWindowPos(Native(hwnd), Native(insertAfter), x, y, cx, cy, flags);
}

HWND SetFocus(HWND hwnd) { return Handle(::SetFocus(Native(hwnd))); }

bool IsWindow(HWND hwnd) { return hwnd && ::IsWindow(Native(hwnd)); }

const char* WhyNotOnScreen(HWND hwnd) {
  const ::HWND w = Native(hwnd);
  if (!hwnd || !::IsWindow(w)) return "does not exist";
  if (!IsWindowVisible(w) || IsIconic(w)) return "is not shown (hidden or minimised)";
  ::RECT r{};
  if (!::GetWindowRect(w, &r)) return "does not exist";
  const ::RECT screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                      GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                      GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  ::RECT common{};
  if (!IntersectRect(&common, &r, &screen)) return "lies entirely off the screen";
  return nullptr;
}

// A Windows session always has its desktop; the other display services
// are still to come.
bool platform::Connect() { return ::GetDesktopWindow() != nullptr; }

std::string platform::ConnectFailure() { return "this session has no desktop to capture (a service or a locked session)"; }

// The desktop's own device context always shows what the screen shows.
const char* platform::ScreenUnreadable() { return nullptr; }

}  // namespace runtime
