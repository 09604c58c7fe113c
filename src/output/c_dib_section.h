// One picture as a 24-bit DIB section: bottom-up rows of BytesPerScanLine()
// bytes in blue, green, red order, selected into the object's own memory
// device context so the platform's blit can draw into it and out of it.
#pragma once
#include <cstdint>
#include <memory>

#include "runtime/picture.h"
#include "runtime/types.h"

namespace output {

class cDIBSection {
 public:
  cDIBSection() = default;
  ~cDIBSection();
  cDIBSection(const cDIBSection&) = delete;
  cDIBSection& operator=(const cDIBSection&) = delete;

  // Fills the header for lWidth x lHeight and asks lhDC's platform for a
  // DIB section; its handle (0 on failure) goes to hDib. Raises Overflow (6)
  // before asking when the pixel memory would not fit 32 bits.
  bool CreateDIB(runtime::HDC lhDC, std::int32_t lWidth, std::int32_t lHeight, runtime::HBITMAP& hDib);
  // Copies picThis pixel for pixel into a new DIB of its size. Reports
  // nothing: on failure the object holds no DIB, or one never filled.
  void CreateFromPicture(const runtime::Picture& picThis);
  // Replaces what the object holds with a new, unfilled DIB; false when the
  // platform refuses (Width and Height still report the size asked for).
  bool Create(std::int32_t lWidth, std::int32_t lHeight);

  // 3 x Width brought up to a multiple of 4; raises Overflow (6) when that
  // does not fit a 32-bit signed integer.
  std::int32_t BytesPerScanLine() const;
  std::int32_t Width() const { return tBmpInfo.biWidth; }
  std::int32_t Height() const { return tBmpInfo.biHeight; }
  const runtime::BITMAPINFOHEADER& BitmapInfo() const { return tBmpInfo; }

  // Blits from lhDC into the DIB at (0, 0); a negative size means the DIB's own.
  void LoadPictureBlt(runtime::HDC lhDC, std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0,
                      std::int32_t lSrcWidth = -1, std::int32_t lSrcHeight = -1,
                      std::uint32_t eRop = runtime::SRCCOPY);
  // Blits the DIB out to lhDC; a negative size means the DIB's own.
  void PaintPicture(runtime::HDC lhDC, std::int32_t lDestLeft = 0, std::int32_t lDestTop = 0,
                    std::int32_t lDestWidth = -1, std::int32_t lDestHeight = -1, std::int32_t lSrcLeft = 0,
                    std::int32_t lSrcTop = 0, std::uint32_t eRop = runtime::SRCCOPY);

  runtime::HDC hdc() const { return hMemDC; }
  runtime::HBITMAP hDib() const { return hDibSection; }
  std::uint8_t* DIBSectionBitsPtr() const { return lBitsPtr; }

  // Puts a screen-compatible copy of the picture on the clipboard as a
  // bitmap; true when the clipboard took it. bAsDIB only tells the user it
  // cannot be done (a message box) and returns false.
  bool CopyToClipboard(bool bAsDIB = false);

  // A new DIB of lNewWidth x lNewHeight (height first): a copy at the same
  // size, else resampled bilinearly; nullptr when it cannot be created.
  // Raises 9 when a source 1 pixel wide or high is to change size.
  std::unique_ptr<cDIBSection> Resample(std::int32_t lNewHeight, std::int32_t lNewWidth) const;
  // Overwrites every pixel with noise: grey (three equal bytes) or coloured
  // (blue 0); the row pad bytes stay as they are.
  void RandomiseBits(bool bGray = false);

  // Frees the DC and the DIB section; safe on an empty object and twice.
  // The header stays, so Width and Height keep reporting the last size.
  void ClearUp();

 private:
  void ResampleBilinear(cDIBSection& cDibTo) const;

  runtime::HBITMAP hDibSection = 0;
  runtime::HGDIOBJ hBmpPrevious = 0;
  runtime::HDC hMemDC = 0;
  std::uint8_t* lBitsPtr = nullptr;
  runtime::BITMAPINFOHEADER tBmpInfo{};
};

}  // namespace output
