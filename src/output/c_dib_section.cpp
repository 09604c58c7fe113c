#include "output/c_dib_section.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <random>
#include <vector>

#include "runtime/app.h"
#include "runtime/clipboard.h"
#include "runtime/error.h"
#include "runtime/gdi.h"
#include "runtime/gui.h"
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

// The pixel memory seen as bytes (x, memory row y) without a copy; an
// index outside either range raises "Subscript out of range" (9).
class ByteView {
 public:
  explicit ByteView(const cDIBSection& dib)
      : bits_(dib.DIBSectionBitsPtr()), columns_(bits_ ? dib.BytesPerScanLine() : 0), rows_(bits_ ? dib.Height() : 0) {}

  // Raises unless byte lastX of memory row lastY lies inside.
  void Check(std::int64_t lastX, std::int64_t lastY) const {
    if (lastX < 0 || lastY < 0 || lastX >= columns_ || lastY >= rows_) Raise(kErrSubscript, "Subscript out of range");
  }
  std::uint8_t* Row(std::int32_t y) const { return bits_ + static_cast<std::ptrdiff_t>(y) * columns_; }
  std::uint8_t& operator()(std::int64_t x, std::int64_t y) const {
    Check(x, y);
    return Row(static_cast<std::int32_t>(y))[x];
  }

 private:
  std::uint8_t* bits_;
  std::int64_t columns_, rows_;
};

// The run-time's random numbers: single-precision values in [0, 1).
class RandomNumbers {
 public:
  explicit RandomNumbers(float seed) {
    std::uint32_t bits;
    std::memcpy(&bits, &seed, sizeof bits);
    engine_.seed(bits);
  }
  float Next() { return static_cast<float>(engine_() >> 8) * (1.0f / 16777216.0f); }

 private:
  std::mt19937 engine_;
};

// Seconds since local midnight, as the run-time's timer gives them.
float SecondsSinceMidnight() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const std::tm local = runtime::LocalTime(t);
  const double fraction =
      std::chrono::duration<double>(now.time_since_epoch()).count() - static_cast<double>(t);
  return static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec + fraction);
}

// A weighted sum to the nearest integer, ties to even.
double Round(double value) { return std::nearbyint(value); }

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

bool cDIBSection::CopyToClipboard(bool bAsDIB) {
  bool bOK = false;
  const HWND hDesktop = GetDesktopWindow();
  const HDC lhDCDesktop = GetDC(hDesktop);
  if (lhDCDesktop == 0) return false;
  const HDC lhDC = CreateCompatibleDC(lhDCDesktop);
  if (lhDC == 0) {
    ReleaseDC(hDesktop, lhDCDesktop);
    return false;
  }
  if (bAsDIB) {
    MsgBox("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!");
  } else {
    const HBITMAP hBmp = CreateCompatibleBitmap(lhDCDesktop, Width(), Height());
    if (hBmp != 0) {
      const HGDIOBJ hBmpOld = SelectObject(lhDC, hBmp);
      PaintPicture(lhDC);
      SelectObject(lhDC, hBmpOld);
      if (OpenClipboard(0)) {
        EmptyClipboard();
        bOK = SetClipboardData(CF_BITMAP, hBmp) != 0;
        CloseClipboard();
      }
      // A bitmap the clipboard did not take is still ours to free.
      if (!bOK) DeleteObject(hBmp);
    }
  }
  DeleteDC(lhDC);
  ReleaseDC(hDesktop, lhDCDesktop);
  return bOK;
}

std::unique_ptr<cDIBSection> cDIBSection::Resample(std::int32_t lNewHeight, std::int32_t lNewWidth) const {
  auto cDib = std::make_unique<cDIBSection>();
  if (!cDib->Create(lNewWidth, lNewHeight)) return nullptr;
  if (lNewWidth == Width() && lNewHeight == Height()) {
    cDib->LoadPictureBlt(hdc());
  } else {
    ResampleBilinear(*cDib);
  }
  return cDib;
}

void cDIBSection::ResampleBilinear(cDIBSection& cDibTo) const {
  const ByteView from(*this), to(cDibTo);
  const std::int32_t sW = Width(), sH = Height(), dW = cDibTo.Width(), dH = cDibTo.Height();
  const float xScale = static_cast<float>(static_cast<double>(sW - 1) / dW);
  const float yScale = static_cast<float>(static_cast<double>(sH - 1) / dH);

  // Every row samples the same columns: work their positions out once.
  std::vector<std::int32_t> ix(dW);
  std::vector<float> fx(dW);
  for (std::int32_t x = 0; x < dW; ++x) {
    const float xPos = static_cast<float>(static_cast<double>(xScale) * x);
    const double whole = std::floor(xPos);
    ix[x] = static_cast<std::int32_t>(whole);
    fx[x] = static_cast<float>(xPos - whole);
  }

  for (std::int32_t y = 0; y < dH; ++y) {
    const float yPos = static_cast<float>(static_cast<double>(yScale) * y);
    const double whole = std::floor(yPos);
    const std::int32_t iy = static_cast<std::int32_t>(whole);
    const double fy = static_cast<float>(yPos - whole);
    // Columns only grow along the row, so its last pixel reads and writes
    // the furthest bytes: checking those checks the whole row.
    from.Check(3 * std::int64_t{ix[dW - 1]} + 5, std::int64_t{iy} + 1);
    to.Check(3 * std::int64_t{dW - 1} + 2, y);
    const std::uint8_t* row0 = from.Row(iy);
    const std::uint8_t* row1 = from.Row(iy + 1);
    std::uint8_t* out = to.Row(y);
    for (std::int32_t x = 0; x < dW; ++x) {
      const std::int32_t b = 3 * ix[x];
      const double f = fx[x];
      for (int c = 0; c < 3; ++c) {
        const double left = Round(row0[b + c] * (1.0 - fy) + row1[b + c] * fy);
        const double right = Round(row0[b + 3 + c] * (1.0 - fy) + row1[b + 3 + c] * fy);
        const double value = Round(left * (1.0 - f) + right * f);
        out[3 * x + c] = static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
      }
    }
  }
}

void cDIBSection::RandomiseBits(bool bGray) {
  RandomNumbers rnd(SecondsSinceMidnight());
  const ByteView bits(*this);
  const std::int64_t lastX = 3 * (std::int64_t{Width()} - 1);
  const auto draw = [&] { return static_cast<std::uint8_t>(Round(static_cast<double>(rnd.Next()) * 255.0)); };
  if (bGray) {
    for (std::int64_t y = 0; y < Height(); ++y)
      for (std::int64_t x = 0; x <= lastX; x += 3) {
        const std::uint8_t v = draw();
        bits(x, y) = v;
        bits(x + 1, y) = v;
        bits(x + 2, y) = v;
      }
  } else {
    for (std::int64_t x = 0; x <= lastX; x += 3)
      for (std::int64_t y = 0; y < Height(); ++y) {
        bits(x, y) = 0;
        bits(x + 1, y) = draw();
        bits(x + 2, y) = draw();
      }
  }
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
