// The desktop snapshot: the whole screen, as it is now, into the area
// selector's picture box, which then shows it pixel for pixel.
#pragma once

namespace capture {

// Loads the selector if needed (without showing it) and copies the screen
// into its picture box. Yields between its steps.
void SnapDesktop();

}  // namespace capture
