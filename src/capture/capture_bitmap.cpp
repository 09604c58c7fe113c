#include "capture/capture_bitmap.h"

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
  // The desktop window spans every monitor; the primary one may lie anywhere on it.
  const std::int32_t left = CLng(Screen().Left()) / CLng(Screen().TwipsPerPixelX());
  const std::int32_t top = CLng(Screen().Top()) / CLng(Screen().TwipsPerPixelY());
  return GrabArea(hWnd, left, top, width, height);
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

Picture BitmapToPicture(HBITMAP hBmp, HPALETTE hPal) {
  PICTDESC desc;
  desc.cbSizeofstruct = 20;
  desc.picType = 1;
  desc.hbitmap = hBmp;
  desc.hpal = hPal;
  return OleCreatePictureIndirect(desc, true);
}

}  // namespace capture
