#include "output/c_dib_section.h"

#include <limits>

#include "runtime/error.h"
#include "runtime/gdi.h"
#include "runtime/user32.h"

namespace output {

using namespace runtime;

namespace {

// 32-bit signed arithmetic that raises Overflow instead of wrapping.
std::int32_t Checked(std::int64_t value) {
  if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
    Raise(kErrOverflow, "Overflow");
  return static_cast<std::int32_t>(value);
}

}  // namespace

cDIBSection::~cDIBSection() { ClearUp(); }

bool cDIBSection::CreateDIB(HDC lhDC, std::int32_t lWidth, std::int32_t lHeight, HBITMAP& hDib) {
  tBmpInfo.biSize = 40;
  tBmpInfo.biWidth = lWidth;
  tBmpInfo.biHeight = lHeight;
  tBmpInfo.biPlanes = 1;
  tBmpInfo.biBitCount = 24;
  tBmpInfo.biCompression = 0;
  tBmpInfo.biSizeImage = Checked(std::int64_t{lHeight} * BytesPerScanLine());
  tBmpInfo.biXPelsPerMeter = 0;
  tBmpInfo.biYPelsPerMeter = 0;
  tBmpInfo.biClrUsed = 0;
  tBmpInfo.biClrImportant = 0;
  hDib = CreateDIBSection(lhDC, &tBmpInfo, DIB_RGB_COLORS, &lBitsPtr, 0, 0);
  return hDib != 0;
}

void cDIBSection::CreateFromPicture(const Picture& picThis) {
  BITMAP tBM{};
  GetObjectA(picThis.Handle(), sizeof tBM, &tBM);
  if (!Create(tBM.bmWidth, tBM.bmHeight)) return;

  const HDC lhDCDesktop = GetDC(GetDesktopWindow());
  if (lhDCDesktop == 0) return;
  const HDC lhDC = CreateCompatibleDC(lhDCDesktop);
  ReleaseDC(GetDesktopWindow(), lhDCDesktop);
  if (lhDC == 0) return;

  const HGDIOBJ lhBmpOld = SelectObject(lhDC, picThis.Handle());
  LoadPictureBlt(lhDC);
  SelectObject(lhDC, lhBmpOld);
  DeleteDC(lhDC);
}

bool cDIBSection::Create(std::int32_t lWidth, std::int32_t lHeight) {
  ClearUp();
  hMemDC = CreateCompatibleDC(0);
  if (hMemDC == 0) return false;
  bool created;
  try {
    created = CreateDIB(hMemDC, lWidth, lHeight, hDibSection);
  } catch (...) {
    // An overflow must not leave a DC behind that holds no DIB section.
    DeleteDC(hMemDC);
    hMemDC = 0;
    throw;
  }
  if (created) {
    hBmpPrevious = SelectObject(hMemDC, hDibSection);
    return true;
  }
  DeleteDC(hMemDC);
  hMemDC = 0;
  return false;
}

std::int32_t cDIBSection::BytesPerScanLine() const {
  const std::int32_t tripled = Checked(std::int64_t{tBmpInfo.biWidth} * 3);
  return Checked(std::int64_t{tripled} + 3) & ~3;
}

void cDIBSection::LoadPictureBlt(HDC lhDC, std::int32_t lSrcLeft, std::int32_t lSrcTop, std::int32_t lSrcWidth,
                                 std::int32_t lSrcHeight, std::uint32_t eRop) {
  if (lSrcWidth < 0) lSrcWidth = Width();
  if (lSrcHeight < 0) lSrcHeight = Height();
  BitBlt(hMemDC, 0, 0, lSrcWidth, lSrcHeight, lhDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::PaintPicture(HDC lhDC, std::int32_t lDestLeft, std::int32_t lDestTop, std::int32_t lDestWidth,
                               std::int32_t lDestHeight, std::int32_t lSrcLeft, std::int32_t lSrcTop,
                               std::uint32_t eRop) {
  if (lDestWidth < 0) lDestWidth = Width();
  if (lDestHeight < 0) lDestHeight = Height();
  BitBlt(lhDC, lDestLeft, lDestTop, lDestWidth, lDestHeight, hMemDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::ClearUp() {
  if (hMemDC != 0) {
    if (hDibSection != 0) {
      SelectObject(hMemDC, hBmpPrevious);
      DeleteObject(hDibSection);
    }
    DeleteDC(hMemDC);
  }
  hMemDC = 0;
  hDibSection = 0;
  hBmpPrevious = 0;
  lBitsPtr = nullptr;
}

}  // namespace output
