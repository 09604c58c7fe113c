#include "mainwindow/picture_layout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mainwindow {
namespace {

// The main window's frame and bars: full viewport 5205 x 4125, 3870 high
// under the horizontal bar, 4920 wide beside the vertical one.
PictureViewLayout Layout(double pictureWidth, double pictureHeight) {
  return LayOutPictureView({5325, 4245, pictureWidth, pictureHeight, 255, 285});
}

TEST(PictureLayout, BarsViewportAndMaxima) {
  struct Case {
    const char* name;
    double pictureWidth, pictureHeight;
    bool hBar, vBar;
    double viewportWidth, viewportHeight;  // the bars run along them
    int hMax, vMax;                        // checked only for a visible bar
  } const cases[] = {
      {"no overflow", 3000, 2000, false, false, 5205, 4125, 0, 0},
      {"equal sizes need no bar", 5205, 4125, false, false, 5205, 4125, 0, 0},
      {"horizontal only fits the lowered viewport", 9000, 3870, true, false, 5205, 3870, 9000 - 5205 + 45, 0},
      {"vertical only fits the narrowed viewport", 4920, 9000, false, true, 4920, 4125, 0, 9000 - 4125 + 45},
      // Fits the full height but not the lowered one: the vertical bar comes
      // too, and the second pass takes the horizontal maximum again.
      {"horizontal bar forces vertical", 9000, 4000, true, true, 4920, 3870, 9000 - 4920 + 45, 4000 - 3870 + 45},
      {"vertical bar forces horizontal", 5205, 9000, true, true, 4920, 3870, 5205 - 4920 + 45, 9000 - 3870 + 45},
      {"both directions", 9000, 9000, true, true, 4920, 3870, 4125, 5175},
      // 2509 pixels wide: the largest width whose range still fits 16 bits.
      {"just inside 16 bits", 2509 * 15, 9000, true, true, 4920, 3870, 32760, 5175},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PictureViewLayout l = Layout(c.pictureWidth, c.pictureHeight);
    EXPECT_EQ(std::make_tuple(l.hBarVisible, l.vBarVisible), std::make_tuple(c.hBar, c.vBar));
    EXPECT_EQ(std::make_tuple(l.viewportWidth, l.viewportHeight), std::make_tuple(c.viewportWidth, c.viewportHeight));
    EXPECT_EQ(std::make_tuple(l.hBarWidth, l.vBarHeight), std::make_tuple(c.viewportWidth, c.viewportHeight));
    if (c.hBar) {
      EXPECT_EQ(std::make_tuple(l.h.max, l.h.unit), std::make_tuple(c.hMax, 1));
    }
    if (c.vBar) {
      EXPECT_EQ(std::make_tuple(l.v.max, l.v.unit), std::make_tuple(c.vMax, 1));
    }
    // The bars sit along the full-size viewport whatever is shown.
    EXPECT_EQ(std::make_tuple(l.vBarLeft, l.hBarTop), std::make_tuple(5205.0 - 285 + 45, 4125.0 - 255 + 45));
  }
}

TEST(PictureLayout, PastThe16BitRangeTheStepIsTheSmallestThatReachesTheEdge) {
  const PictureViewLayout l = Layout(2510 * 15, 9000);  // one pixel past: steps of two twips
  EXPECT_EQ(std::make_tuple(l.h.unit, l.h.max), std::make_tuple(2, 16388));  // 32775 / 2 rounded up
  EXPECT_EQ(std::make_tuple(ScrollOffset(l.h, 16388), ScrollOffset(l.h, 16387)), std::make_tuple(32775.0, 32774.0));
  EXPECT_EQ(std::make_tuple(RangeFor(32767).unit, RangeFor(32767).max), std::make_tuple(1, 32767));
  for (double reach = 32768; reach < 3'000'000; reach = std::floor(reach * 1.37) + 1) {
    const ScrollRange r = RangeFor(reach);
    SCOPED_TRACE(reach);
    EXPECT_LE(r.max, 32767);
    EXPECT_GE(static_cast<double>(r.max) * r.unit, reach);
    EXPECT_GT(std::ceil(reach / (r.unit - 1)), 32767);  // one step smaller would not fit
    EXPECT_EQ(std::make_tuple(ScrollOffset(r, r.max), ScrollOffset(r, 0)), std::make_tuple(reach, 0.0));
  }
}

}  // namespace
}  // namespace mainwindow
