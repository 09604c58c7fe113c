#include "capture/capture_bitmap.h"

#include "runtime/error.h"
#include "runtime/gdi.h"
#include "runtime/screen.h"
#include "runtime/user32.h"

namespace capture {

using namespace runtime;

Picture GrabWindow(HWND hWnd) {
  RECT rc;
  GetWindowRect(hWnd, &rc);
  return GrabArea(hWnd, 0, 0, rc.Right - rc.Left, rc.Bottom - rc.Top);
}

Picture GrabScreen() {
  const HWND hWnd = GetDesktopWindow();
  const std::int32_t width = CLng(Screen().Width()) / CLng(Screen().TwipsPerPixelX());
  const std::int32_t height = CLng(Screen().Height()) / CLng(Screen().TwipsPerPixelY());
  return GrabArea(hWnd, 0, 0, width, height);
}

Picture GrabArea(HWND hWnd, std::int32_t lLeft, std::int32_t lTop, std::int32_t lWidth, std::int32_t lHeight) {
  const HDC hDCSrc = GetWindowDC(hWnd);
  const HDC hDCMem = CreateCompatibleDC(hDCSrc);
  HBITMAP hBmp = CreateCompatibleBitmap(hDCSrc, lWidth, lHeight);
  const HGDIOBJ hBmpPrev = SelectObject(hDCMem, hBmp);

  const bool bHasPalette = (GetDeviceCaps(hDCSrc, RASTERCAPS) & RC_PALETTE) != 0;
  const int lPaletteSize = GetDeviceCaps(hDCSrc, SIZEPALETTE);
  HPALETTE hPal = 0, hPalPrev = 0;
  if (bHasPalette && lPaletteSize == 256) {
    LOGPALETTE logPal;
    logPal.palVersion = 0x300;
    logPal.palNumEntries = 256;
    GetSystemPaletteEntries(hDCSrc, 0, 256, logPal.palPalEntry);
    hPal = CreatePalette(&logPal);
    hPalPrev = SelectPalette(hDCMem, hPal, false);
    RealizePalette(hDCMem);
  }

  // A window that vanished since its rectangle was read leaves nothing
  // worth keeping: give back no bitmap rather than a black one.
  if (!BitBlt(hDCMem, 0, 0, lWidth, lHeight, hDCSrc, lLeft, lTop, SRCCOPY)) {
    SelectObject(hDCMem, hBmpPrev);
    DeleteObject(hBmp);
    hBmp = 0;
  } else {
    hBmp = SelectObject(hDCMem, hBmpPrev);
  }
  if (hPal) hPal = SelectPalette(hDCMem, hPalPrev, false);

  DeleteDC(hDCMem);
  ReleaseDC(hWnd, hDCSrc);
  return BitmapToPicture(hBmp, hPal);
}

void PrintPictureToFit(PrinterObject& prn, const Picture& pic) {
  const std::int32_t Hp = pic.Height();
  const std::int32_t Wp = pic.Width();
  prn.SetOrientation(Hp >= Wp ? vbPRORPortrait : vbPRORLandscape);
  if (Hp == 0) Raise(Wp == 0 ? kErrOverflow : kErrDivisionByZero, Wp == 0 ? "Overflow" : "Division by zero");
  const double R = static_cast<double>(Wp) / Hp;
  const double PW = prn.ScaleX(prn.ScaleWidth(), prn.ScaleMode(), vbHimetric);
  const double PH = prn.ScaleY(prn.ScaleHeight(), prn.ScaleMode(), vbHimetric);
  const double PR = PW / PH;
  double W, H;
  if (R >= PR) {
    W = PW;
    H = PW / R;
  } else {
    H = PH;
    W = PH * R;
  }
  const double Wd = prn.ScaleX(W, vbHimetric, prn.ScaleMode());
  const double Hd = prn.ScaleY(H, vbHimetric, prn.ScaleMode());
  prn.PaintPicture(pic, 0, 0, Wd, Hd);
}

Picture BitmapToPicture(HBITMAP hBmp, HPALETTE hPal) {
  PICTDESC desc;
  desc.cbSizeofstruct = 20;
  desc.picType = 1;
  desc.hbitmap = hBmp;
  desc.hpal = hPal;
  return OleCreatePictureIndirect(desc, true);
}

}  // namespace capture
