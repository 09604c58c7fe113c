// The interactive start: the splash for about two seconds, then the main
// window with the focus on Start.
#pragma once
#include "mainwindow/frm_bitmap.h"

namespace startup {

void InteractiveStart(mainwindow::frmBitmap& form);

}  // namespace startup
