#include "capture/module.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/text.h"
#include "runtime/user32.h"

namespace capture {

std::int32_t lLastHwnd = 0;

namespace {

std::optional<std::int32_t> FromHex(const std::string& digits) {
  std::int64_t value = 0;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
    if (value > INT32_MAX) return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

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
  const std::string t = runtime::TrimBlanks(text);
  if (t.empty()) return std::nullopt;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) return FromHex(t.substr(2));
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
