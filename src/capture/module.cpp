#include "capture/module.h"

#include <string>

#include "runtime/user32.h"

namespace capture {

std::int32_t lLastHwnd = 0;

void TrackWindowUnderCursor(runtime::Control& first, runtime::Control& second) {
  runtime::POINTAPI point;
  runtime::GetCursorPos(&point);
  const runtime::HWND hWnd = runtime::WindowFromPoint(point.X, point.Y);
  if (hWnd == lLastHwnd) return;
  lLastHwnd = hWnd;
  first.SetText(std::to_string(hWnd));
  second.SetText(std::to_string(runtime::GetParent(hWnd)));
}

}  // namespace capture
