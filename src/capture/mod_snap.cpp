#include "capture/mod_snap.h"

#include "areaselect/frm_full_scr.h"
#include "runtime/events.h"
#include "runtime/gdi.h"
#include "runtime/screen.h"
#include "runtime/user32.h"

namespace capture {

using namespace runtime;

void SnapDesktop() {
  const HWND hWndDesk = GetDesktopWindow();
  DoEvents();
  const HDC hDCDesk = GetDC(hWndDesk);
  DoEvents();
  RECT rc;
  GetWindowRect(hWndDesk, &rc);
  const std::int32_t lWidth = rc.Right, lHeight = rc.Bottom;
  DoEvents();
  areaselect::frmFullScr& selector = areaselect::frmFullScrForm();
  selector.Load();
  const HDC hDCPic = selector.pic.hDC();
  DoEvents();
  // One pixel up and left, so that the border lies off the screen on every
  // side and the client area is exactly the screen.
  const double tx = Screen().TwipsPerPixelX(), ty = Screen().TwipsPerPixelY();
  selector.pic.Move(-tx, -ty, tx * (lWidth + 2), ty * (lHeight + 2));
  DoEvents();
  BitBlt(hDCPic, 0, 0, lWidth, lHeight, hDCDesk, 0, 0, SRCCOPY);
  selector.pic.Refresh();
  DoEvents();
  ReleaseDC(hWndDesk, hDCDesk);
  DoEvents();
}

}  // namespace capture
