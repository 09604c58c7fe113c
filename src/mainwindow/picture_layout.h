// Arithmetic of the main window's picture view: the viewport inside its
// frame and the two scroll bars, for a picture of a given size. All values
// are twips.
#pragma once
#include <cstdint>

namespace mainwindow {

struct PictureViewSizes {
  double frameWidth = 0, frameHeight = 0;      // kadO
  double pictureWidth = 0, pictureHeight = 0;  // picS
  double hBarHeight = 0;                       // HScroll
  double vBarWidth = 0;                        // VScroll
};

// One scroll bar's range. The bar holds 16-bit values, so a picture more
// than 32767 twips larger than the viewport is scrolled in steps of `unit`
// twips; `reach` (twips) is how far the picture may slide, which the last
// step must not overshoot. With unit 1 a bar value is exactly a twips offset.
struct ScrollRange {
  std::int16_t max = 0;
  std::int32_t unit = 1;
  double reach = 0;
};

struct PictureViewLayout {
  double viewportWidth = 0, viewportHeight = 0;  // kadI
  double vBarLeft = 0, vBarHeight = 0;
  double hBarTop = 0, hBarWidth = 0;
  bool hBarVisible = false, vBarVisible = false;
  ScrollRange h, v;  // meaningful only for a visible bar
};

// Lays the view out: viewport to full size, bars along it, a bar for each
// direction the picture overflows (strictly larger), and a second pass when
// the room one bar took makes the picture overflow the other way too.
PictureViewLayout LayOutPictureView(const PictureViewSizes& sizes);

// The range for sliding a picture by `reach` twips.
ScrollRange RangeFor(double reach);

// The picture's offset (twips, not negative) for a bar value in a range.
double ScrollOffset(const ScrollRange& range, std::int16_t value);

}  // namespace mainwindow
