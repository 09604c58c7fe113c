// Turns a window or the primary screen into a Picture. Failures are not
// reported: a capture that fails gives a Picture whose Handle() is 0.
#pragma once
#include <cstdint>

#include "runtime/picture.h"
#include "runtime/types.h"

namespace capture {

// The whole window, frame included, at its current size and place.
runtime::Picture GrabWindow(runtime::HWND hWnd);
// The whole primary screen.
runtime::Picture GrabScreen();
// lWidth x lHeight pixels at (lLeft, lTop) of the window's whole-window DC.
runtime::Picture GrabArea(runtime::HWND hWnd, std::int32_t lLeft, std::int32_t lTop, std::int32_t lWidth,
                          std::int32_t lHeight);
// Wraps a bitmap and a palette (0 for none) in a Picture that owns both.
runtime::Picture BitmapToPicture(runtime::HBITMAP hBmp, runtime::HPALETTE hPal);

}  // namespace capture
