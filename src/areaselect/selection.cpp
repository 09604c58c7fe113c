#include "areaselect/selection.h"

#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "runtime/error.h"

namespace areaselect {
namespace {

// Whole numbers as the run-time converts them: nearest, halves to even, and
// an overflow error instead of a wrapped value.
std::int32_t Nearest(double v) {
  const double r = std::nearbyint(v);
  if (!(r >= INT32_MIN && r <= INT32_MAX)) runtime::Raise(runtime::kErrOverflow, "Overflow");
  return static_cast<std::int32_t>(r);
}

std::int32_t Floor(double v) { return Nearest(std::floor(v)); }

std::int32_t Add(std::int32_t a, std::int32_t b) {
  const std::int64_t sum = std::int64_t{a} + b;
  if (sum < INT32_MIN || sum > INT32_MAX) runtime::Raise(runtime::kErrOverflow, "Overflow");
  return static_cast<std::int32_t>(sum);
}

std::int32_t Span(std::int32_t from, std::int32_t to) {
  return Add(static_cast<std::int32_t>(std::llabs(std::int64_t{to} - from)), 0);
}

std::string Signed(std::int32_t v) {
  std::string text(v < 0 ? "" : " ");
  return text += std::to_string(v);
}

}  // namespace

AreaState& SharedArea() {
  static AreaState area;
  return area;
}

std::string Selection::SizeText(std::int32_t width, std::int32_t height) {
  return Signed(width) + " x" + Signed(height) + " ";
}

void Selection::Initialise(double left, double top, double width, double height) {
  lCurNode = 0;
  a.lAreaX1 = Nearest(left);
  a.lAreaY1 = Nearest(top);
  a.lAreaX2 = Nearest(left + width);
  a.lAreaY2 = Nearest(top + height);
  a.lAreaWidth = Add(Span(a.lAreaX1, a.lAreaX2), 1);
  a.lAreaHeight = Add(Span(a.lAreaY1, a.lAreaY2), 1);
}

// Corners carried past each other by a handle or a key are put back in
// order, and the current handle follows the corner it moved, so the outline
// and the copied area always lie between the corners.
void Selection::OrderCorners() {
  if (a.lAreaX1 > a.lAreaX2) {
    std::swap(a.lAreaX1, a.lAreaX2);
    lCurNode = std::array<std::int32_t, 4>{1, 0, 3, 2}[lCurNode & 3];
  }
  if (a.lAreaY1 > a.lAreaY2) {
    std::swap(a.lAreaY1, a.lAreaY2);
    lCurNode = std::array<std::int32_t, 4>{3, 2, 1, 0}[lCurNode & 3];
  }
}

void Selection::OutlineFromRect(bool dotted) {
  outline = {static_cast<double>(a.lAreaX1), static_cast<double>(a.lAreaY1), static_cast<double>(a.lAreaWidth),
             static_cast<double>(a.lAreaHeight), dotted};
}

void Selection::UpdateSelection() {
  OrderCorners();
  const std::int32_t h = kNodeSize / 2;
  node[0] = {Add(a.lAreaX1, -h), Add(a.lAreaY1, -h)};
  node[1] = {Add(a.lAreaX2, -h), Add(a.lAreaY1, -h)};
  node[2] = {Add(a.lAreaX2, -h), Add(a.lAreaY2, -h)};
  node[3] = {Add(a.lAreaX1, -h), Add(a.lAreaY2, -h)};
  a.lAreaWidth = Add(Span(a.lAreaX1, a.lAreaX2), 1);
  a.lAreaHeight = Add(Span(a.lAreaY1, a.lAreaY2), 1);
  OutlineFromRect(false);
  focusWanted = true;
  labelTop = Add(node[2][1], kNodeSize);
  labelLeft = Add(node[2][0], kNodeSize);
  label = SizeText(a.lAreaWidth, a.lAreaHeight);
}

void Selection::PicDown(float x, float y) {
  outline.dotted = true;
  if (a.lAreaX1 < x && x < a.lAreaX2 && a.lAreaY1 < y && y < a.lAreaY2) {
    sngStartX = sngCurX = x;
    sngStartY = sngCurY = y;
    bMoving = true;
    pointer = runtime::MousePointer::SizeAll;
    return;
  }
  a.lAreaX1 = Nearest(x);
  a.lAreaY1 = Nearest(y);
  a.lAreaX2 = Nearest(double{x} + 1);
  a.lAreaY2 = Nearest(double{y} + 1);
  a.lAreaWidth = a.lAreaHeight = 1;
  outline = {static_cast<double>(a.lAreaX1), static_cast<double>(a.lAreaY1), 1, 1, true};
  bDrawing = true;
}

void Selection::PicMove(float x, float y) {
  if (bDrawing) {
    // The edge nearer the pointer follows it; ties move the right/bottom edge.
    if (std::fabs(double{x} - a.lAreaX2) > std::fabs(double{x} - a.lAreaX1)) {
      a.lAreaX1 = Nearest(x);
      outline.left = a.lAreaX1;
    } else {
      a.lAreaX2 = Nearest(x);
    }
    if (std::fabs(double{y} - a.lAreaY2) > std::fabs(double{y} - a.lAreaY1)) {
      a.lAreaY1 = Nearest(y);
      outline.top = a.lAreaY1;
    } else {
      a.lAreaY2 = Nearest(y);
    }
    a.lAreaWidth = Span(a.lAreaX1, a.lAreaX2);
    a.lAreaHeight = Span(a.lAreaY1, a.lAreaY2);
    outline.width = a.lAreaWidth;
    outline.height = a.lAreaHeight;
  }
  if (bMoving) {
    sngCurX = x;
    sngCurY = y;
    outline.left = a.lAreaX1 + (double{sngCurX} - sngStartX);
    outline.top = a.lAreaY1 + (double{sngCurY} - sngStartY);
  }
}

void Selection::PicUp(float x, float y) {
  if (bDrawing) {
    if (a.lAreaX1 > a.lAreaX2) {
      a.lAreaX2 = a.lAreaX1;
      a.lAreaX1 = Floor(x);
    }
    if (a.lAreaY1 > a.lAreaY2) {
      a.lAreaY2 = a.lAreaY1;
      a.lAreaY1 = Floor(y);
    }
    a.lAreaWidth = Add(Span(a.lAreaX1, a.lAreaX2), 1);
    if (a.lAreaWidth < 2) {
      a.lAreaWidth = 2;
      a.lAreaX2 = Add(a.lAreaX1, 2);
    }
    a.lAreaHeight = Add(Span(a.lAreaY1, a.lAreaY2), 1);
    if (a.lAreaHeight < 2) {
      a.lAreaHeight = 2;
      a.lAreaY2 = Add(a.lAreaY1, 2);
    }
    // A click: the 36 x 36 square about the release point.
    if (a.lAreaWidth == 2 && a.lAreaHeight == 2) {
      a.lAreaX1 = Nearest(double{x} - 18);
      a.lAreaX2 = Nearest(double{x} + 17);
      a.lAreaY1 = Nearest(double{y} - 18);
      a.lAreaY2 = Nearest(double{y} + 17);
    }
    bDrawing = false;
  }
  if (bMoving) {
    const double dx = double{sngCurX} - sngStartX, dy = double{sngCurY} - sngStartY;
    a.lAreaX1 = Nearest(a.lAreaX1 + dx);
    a.lAreaY1 = Nearest(a.lAreaY1 + dy);
    a.lAreaX2 = Nearest(a.lAreaX2 + dx);
    a.lAreaY2 = Nearest(a.lAreaY2 + dy);
    sngCurX = sngCurY = 0;
    bMoving = false;
    pointer = runtime::MousePointer::Cross;
  }
  outline.dotted = false;
  UpdateSelection();
}

void Selection::NodeDown(int i, int button) {
  if (button != kLeftButton) return;
  outline.dotted = true;
  bSizing = true;
}

void Selection::NodeMove(int i, int button, float x, float y) {
  if (!bSizing || button != kLeftButton || i < 0 || i > 3) return;
  const double px = static_cast<double>(node[i][0]) + x, py = static_cast<double>(node[i][1]) + y;
  switch (i) {
    case 0: a.lAreaX1 = Nearest(px); a.lAreaY1 = Nearest(py); break;
    case 1: a.lAreaX2 = Nearest(px + 6); a.lAreaY1 = Nearest(py); break;
    case 2: a.lAreaX2 = Nearest(px + 6); a.lAreaY2 = Nearest(py + 6); break;
    default: a.lAreaX1 = Nearest(px); a.lAreaY2 = Nearest(py + 6); break;
  }
  a.lAreaWidth = Add(Span(a.lAreaX1, a.lAreaX2), 1);
  a.lAreaHeight = Add(Span(a.lAreaY1, a.lAreaY2), 1);
  // Shown between the corners even while they are crossed; the release
  // puts them in order.
  outline = {static_cast<double>(std::min(a.lAreaX1, a.lAreaX2)), static_cast<double>(std::min(a.lAreaY1, a.lAreaY2)),
             static_cast<double>(a.lAreaWidth), static_cast<double>(a.lAreaHeight), true};
}

void Selection::NodeUp(int i, int button) {
  if (button != kLeftButton) return;
  UpdateSelection();
  bSizing = false;
}

bool Selection::KeyDown(int keyCode, int shift) {
  if (keyCode < 33 || keyCode > 44) return false;
  const std::int32_t s = (shift == 1 || shift == 3) ? 10 : 1;
  std::int32_t dx = 0, dy = 0;
  switch (keyCode) {
    case 39: dx = s; break;
    case 37: dx = -s; break;
    case 40: dy = s; break;
    case 38: dy = -s; break;
    case 33: dx = s; dy = -s; break;
    case 34: dx = s; dy = s; break;
    case 35: dx = -s; dy = s; break;
    case 36: dx = -s; dy = -s; break;
    default: break;
  }
  // Which of the corner values each handle carries: x1 or x2, y1 or y2.
  auto corner = [this](int n) -> std::pair<std::int32_t*, std::int32_t*> {
    switch (n & 3) {
      case 0: return {&a.lAreaX1, &a.lAreaY1};
      case 1: return {&a.lAreaX2, &a.lAreaY1};
      case 2: return {&a.lAreaX2, &a.lAreaY2};
      default: return {&a.lAreaX1, &a.lAreaY2};
    }
  };
  auto [x, y] = corner(lCurNode);
  *x = Add(*x, dx);
  *y = Add(*y, dy);
  if (shift >= 2) {
    auto [ox, oy] = corner(lCurNode + 2);
    *ox = Add(*ox, dx);
    *oy = Add(*oy, dy);
  }
  UpdateSelection();
  return true;
}

}  // namespace areaselect
