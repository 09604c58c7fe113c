// The pointer tracker: which window lies under the mouse pointer, and its
// parent, written into two text boxes whenever that window changes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "runtime/forms.h"

namespace capture {

// The handle seen under the pointer last time; lives as long as the program.
extern std::int32_t lLastHwnd;

// Writes the window under the pointer into first and its parent (or
// owner, 0 for none) into second, both in decimal, only when the window
// under the pointer differs from the last one seen.
void TrackWindowUnderCursor(runtime::Control& first, runtime::Control& second);

// A window handle read back from such text: optional sign, digits and a
// fraction (rounded, halves to even), or "0x" and hexadecimal digits as
// xwininfo prints window ids; blanks around. Nothing for text that is not a
// number or lies outside the 32-bit signed range.
std::optional<std::int32_t> HandleFromText(const std::string& text);

}  // namespace capture
