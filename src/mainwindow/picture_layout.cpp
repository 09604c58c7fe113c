#include "mainwindow/picture_layout.h"

#include <algorithm>
#include <cmath>

#include "runtime/screen.h"

namespace mainwindow {
namespace {
constexpr double kInset = 120;   // frame to viewport, both sides together
constexpr double kOverlap = 45;  // bars and range reach a little past the viewport
constexpr std::int32_t kMaxValue = 32767;
}  // namespace

ScrollRange RangeFor(double reach) {
  ScrollRange range;
  range.reach = reach;
  const std::int32_t exact = runtime::CLng(reach);
  if (exact <= kMaxValue) {
    range.max = static_cast<std::int16_t>(exact);
    return range;
  }
  // The smallest whole step that brings the range into 16 bits; the top
  // value is rounded up so the far edge can always be reached.
  range.unit = static_cast<std::int32_t>(std::ceil(reach / kMaxValue));
  range.max = static_cast<std::int16_t>(std::min<double>(kMaxValue, std::ceil(reach / range.unit)));
  return range;
}

double ScrollOffset(const ScrollRange& range, std::int16_t value) {
  if (range.unit == 1) return value;
  return std::min(static_cast<double>(value) * range.unit, range.reach);
}

PictureViewLayout LayOutPictureView(const PictureViewSizes& s) {
  PictureViewLayout l;
  l.viewportWidth = s.frameWidth - kInset;
  l.viewportHeight = s.frameHeight - kInset;
  l.vBarLeft = l.viewportWidth - s.vBarWidth + kOverlap;
  l.hBarTop = l.viewportHeight - s.hBarHeight + kOverlap;

  auto horizontal = [&] {
    if (s.pictureWidth > l.viewportWidth) {
      l.viewportHeight = s.frameHeight - s.hBarHeight - kInset;
      l.vBarHeight = l.viewportHeight;
      l.h = RangeFor(s.pictureWidth - l.viewportWidth + kOverlap);
      l.hBarVisible = true;
    } else {
      l.vBarHeight = l.viewportHeight;
      l.hBarVisible = false;
    }
  };
  auto vertical = [&] {
    if (s.pictureHeight > l.viewportHeight) {
      l.viewportWidth = s.frameWidth - s.vBarWidth - kInset;
      l.hBarWidth = l.viewportWidth;
      l.v = RangeFor(s.pictureHeight - l.viewportHeight + kOverlap);
      l.vBarVisible = true;
    } else {
      l.hBarWidth = l.viewportWidth;
      l.vBarVisible = false;
    }
  };
  horizontal();
  vertical();
  // One bar's room can make the picture overflow the other way as well;
  // both maxima are then taken again against the doubly shrunk viewport.
  if (s.pictureWidth > l.viewportWidth && s.pictureHeight > l.viewportHeight) {
    horizontal();
    vertical();
  }
  return l;
}

}  // namespace mainwindow
