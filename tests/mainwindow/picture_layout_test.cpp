#include "mainwindow/picture_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

namespace mainwindow {
namespace {

// The main window's frame and bars: full viewport 5205 x 4125, 3870 high
// under the horizontal bar, 4920 wide beside the vertical one.
PictureViewSizes View(double pictureWidth, double pictureHeight) {
  return {5325, 4245, pictureWidth, pictureHeight, 255, 285};
}

struct LayoutCase {
  const char* name;
  double pictureWidth, pictureHeight;
  bool hBar, vBar;
  double viewportWidth, viewportHeight;
  int hMax, vMax;  // checked only for a visible bar
  double vBarHeight, hBarWidth;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class PictureLayoutTable : public testing::TestWithParam<LayoutCase> {};

TEST_P(PictureLayoutTable, BarsViewportAndMaxima) {
  const LayoutCase& c = GetParam();
  const PictureViewLayout l = LayOutPictureView(View(c.pictureWidth, c.pictureHeight));
  EXPECT_EQ(l.hBarVisible, c.hBar);
  EXPECT_EQ(l.vBarVisible, c.vBar);
  EXPECT_EQ(l.viewportWidth, c.viewportWidth);
  EXPECT_EQ(l.viewportHeight, c.viewportHeight);
  if (c.hBar) {
    EXPECT_EQ(l.h.max, c.hMax);
    EXPECT_EQ(l.h.unit, 1);
  }
  if (c.vBar) {
    EXPECT_EQ(l.v.max, c.vMax);
    EXPECT_EQ(l.v.unit, 1);
  }
  EXPECT_EQ(l.vBarHeight, c.vBarHeight);
  EXPECT_EQ(l.hBarWidth, c.hBarWidth);
  // The bars sit along the full-size viewport whatever is shown.
  EXPECT_EQ(l.vBarLeft, 5205 - 285 + 45);
  EXPECT_EQ(l.hBarTop, 4125 - 255 + 45);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PictureLayoutTable,
    testing::Values(
        LayoutCase{"NoOverflow", 3000, 2000, false, false, 5205, 4125, 0, 0, 4125, 5205},
        LayoutCase{"EqualSizesNeedNoBar", 5205, 4125, false, false, 5205, 4125, 0, 0, 4125, 5205},
        LayoutCase{"HorizontalOnlyFitsLoweredViewport", 9000, 3870, true, false, 5205, 3870, 9000 - 5205 + 45, 0,
                   3870, 5205},
        LayoutCase{"VerticalOnlyFitsNarrowedViewport", 4920, 9000, false, true, 4920, 4125, 0, 9000 - 4125 + 45,
                   4125, 4920},
        // Fits the full height but not the lowered one: the vertical bar comes
        // too, and the second pass takes the horizontal maximum again.
        LayoutCase{"HorizontalBarForcesVertical", 9000, 4000, true, true, 4920, 3870, 9000 - 4920 + 45,
                   4000 - 3870 + 45, 3870, 4920},
        // Exactly as wide as the full viewport: the vertical bar's room makes
        // it overflow sideways.
        LayoutCase{"VerticalBarForcesHorizontal", 5205, 9000, true, true, 4920, 3870, 5205 - 4920 + 45,
                   9000 - 3870 + 45, 3870, 4920},
        LayoutCase{"BothDirections", 9000, 9000, true, true, 4920, 3870, 4125, 5175, 3870, 4920},
        // 2509 pixels wide: the largest width whose range still fits 16 bits.
        LayoutCase{"JustInside16Bits", 2509 * 15, 9000, true, true, 4920, 3870, 32760, 5175, 3870, 4920}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

TEST(PictureLayout, OnePixelPastThe16BitRangeScrollsInStepsOfTwoTwips) {
  const PictureViewLayout l = LayOutPictureView(View(2510 * 15, 9000));
  EXPECT_EQ(l.h.unit, 2);
  EXPECT_EQ(l.h.max, 16388);  // 32775 / 2 rounded up
  EXPECT_EQ(ScrollOffset(l.h, 16388), 32775);
  EXPECT_EQ(ScrollOffset(l.h, 16387), 32774);
}

TEST(PictureLayout, ScaledRangesAreTheSmallestStepThatReachesTheEdge) {
  EXPECT_EQ(RangeFor(32767).unit, 1);
  EXPECT_EQ(RangeFor(32767).max, 32767);
  for (double reach = 32768; reach < 3'000'000; reach = std::floor(reach * 1.37) + 1) {
    const ScrollRange r = RangeFor(reach);
    SCOPED_TRACE(reach);
    EXPECT_LE(r.max, 32767);
    EXPECT_GE(static_cast<double>(r.max) * r.unit, reach);
    EXPECT_GT(std::ceil(reach / (r.unit - 1)), 32767);  // one step smaller would not fit
    EXPECT_EQ(ScrollOffset(r, r.max), reach);
    EXPECT_EQ(ScrollOffset(r, 0), 0);
  }
}

}  // namespace
}  // namespace mainwindow
