#include "capture/module.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
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

std::optional<std::int32_t> HandleFromText(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  const std::string t = text.substr(first, text.find_last_not_of(' ') - first + 1);
  std::size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(t[i]))) {
      digits = true;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  const double value = std::nearbyint(std::strtod(t.c_str(), nullptr));
  if (!std::isfinite(value) || value < -2147483648.0 || value > 2147483647.0) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace capture
