// Text helpers shared by the layers that read what a user or a script typed.
#pragma once
#include <string>
#include <string_view>

namespace runtime {

// The text without the blanks at its ends. Only spaces count: a tab or a
// line break is part of the text, as in a window caption.
inline std::string TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

}  // namespace runtime
