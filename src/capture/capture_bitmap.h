// Turns a window or the primary screen into a Picture. Failures are not
// reported: a capture that fails gives a Picture whose Handle() is 0.
#pragma once
#include <cstdint>

#include "runtime/picture.h"
#include "runtime/printer.h"
#include "runtime/types.h"

namespace capture {

// The whole window, frame included, at its current size and place.
runtime::Picture GrabWindow(runtime::HWND hWnd);
// The whole primary screen.
runtime::Picture GrabScreen();
// lWidth x lHeight pixels at (lLeft, lTop) of the window's whole-window DC.
runtime::Picture GrabArea(runtime::HWND hWnd, std::int32_t lLeft, std::int32_t lTop, std::int32_t lWidth,
                          std::int32_t lHeight);
// Prints the picture as large as the printable area allows for its shape,
// at the area's top-left: portrait unless wider than high. Errors pass to
// the caller and end it at the step that failed.
void PrintPictureToFit(runtime::PrinterObject& prn, const runtime::Picture& pic);
// Wraps a bitmap and a palette (0 for none) in a Picture that owns both.
runtime::Picture BitmapToPicture(runtime::HBITMAP hBmp, runtime::HPALETTE hPal);

}  // namespace capture
