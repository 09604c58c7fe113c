// The pointer tracker: which window lies under the mouse pointer, and its
// parent, written into two text boxes whenever that window changes.
#pragma once
#include <cstdint>

#include "runtime/forms.h"

namespace capture {

// The handle seen under the pointer last time; lives as long as the program.
extern std::int32_t lLastHwnd;

// Writes the window under the pointer into first and its parent (or
// owner, 0 for none) into second, both in decimal, only when the window
// under the pointer differs from the last one seen.
void TrackWindowUnderCursor(runtime::Control& first, runtime::Control& second);

}  // namespace capture
