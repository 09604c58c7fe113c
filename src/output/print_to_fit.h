// The page layout of the Print command: the picture fitted to one page.
#pragma once
#include "runtime/picture.h"
#include "runtime/printer.h"

namespace output {

// Prints the picture as large as the printable area allows for its shape,
// at the area's top-left: portrait unless wider than high. Errors pass to
// the caller and end it at the step that failed.
void PrintPictureToFit(runtime::PrinterObject& prn, const runtime::Picture& pic);

}  // namespace output
