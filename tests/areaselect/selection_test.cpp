// The selector's gestures, handle drags, keys and label, without a display.
#include "areaselect/selection.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "areaselect/frm_full_scr.h"
#include "runtime/gui.h"

namespace areaselect {
namespace {

using Corners = std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t>;
using Point = std::array<std::int32_t, 2>;

struct Gestures : testing::Test {
  AreaState area;
  Selection sel{area};
  // Away from the presses below, so that each of them draws.
  void SetUp() override {
    sel.Initialise(300, 300, 31, 31);
    sel.UpdateSelection();
  }
  Corners corners() const { return {area.lAreaX1, area.lAreaY1, area.lAreaX2, area.lAreaY2}; }
  void Draw(float x0, float y0, const std::vector<std::pair<float, float>>& moves) {
    sel.PicDown(x0, y0);
    for (auto [x, y] : moves) sel.PicMove(x, y);
    const auto [x, y] = moves.empty() ? std::pair{x0, y0} : moves.back();
    sel.PicUp(x, y);
  }
};

TEST_F(Gestures, DrawingEndsAsTheWorkedExamplesSay) {
  struct Case {
    const char* what;
    float x0, y0;
    std::vector<std::pair<float, float>> moves;
    Corners want;
    const char* label;
  } cases[] = {
      {"down and right", 10, 10, {{50, 50}}, {10, 10, 50, 50}, " 41 x 41 "},
      {"up and left: the far edges start one beyond the press", 50, 50, {{10, 10}}, {10, 10, 51, 51}, " 42 x 42 "},
      {"the nearer edge follows the pointer back", 10, 10, {{50, 50}, {12, 12}}, {12, 12, 50, 50}, " 39 x 39 "},
      {"one pixel wide", 10, 10, {{10, 20}}, {10, 10, 11, 20}, " 2 x 11 "},
      {"a click: the square about the point", 100, 100, {}, {82, 82, 117, 117}, " 36 x 36 "},
      {"a click near the corner reaches off the screen", 5, 5, {}, {-13, -13, 22, 22}, " 36 x 36 "},
      {"halves go to the even neighbour: 10.5 to 10, 11.5 to 12", 10.5f, 2.5f, {}, {10, 2, 12, 4}, " 3 x 3 "},
      {"edges crossed on release: the near one floors", 1.5f, 1.5f, {{0.7f, 0.7f}}, {0, 0, 2, 2}, " 3 x 3 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sel.Initialise(300, 300, 31, 31);
    Draw(c.x0, c.y0, c.moves);
    EXPECT_EQ(corners(), c.want);
    EXPECT_EQ(sel.label, c.label);
    EXPECT_EQ(area.lAreaWidth, area.lAreaX2 - area.lAreaX1 + 1);
    EXPECT_FALSE(sel.bDrawing || sel.outline.dotted);
  }
  EXPECT_EQ(Selection::SizeText(-5, 0), "-5 x 0 ") << "the sign takes the blank's place";
}

// The outline is dotted while drawing and measures without the plus one;
// handles and label move on release; moving drags only the outline.
TEST_F(Gestures, OutlineFollowsDrawingAndMovingAndTheRectangleLandsOnRelease) {
  sel.PicDown(10, 10);
  EXPECT_EQ(std::make_tuple(sel.outline.dotted, sel.outline.width), std::make_tuple(true, 1.0));
  const auto handles = sel.node;
  sel.PicMove(50, 30);
  EXPECT_EQ(std::make_tuple(sel.outline.left, sel.outline.top, sel.outline.width, sel.outline.height, sel.node),
            std::make_tuple(10.0, 10.0, 40.0, 20.0, handles));
  sel.PicUp(50, 30);
  EXPECT_EQ(std::make_tuple(sel.outline.width, sel.outline.height, sel.node[2], sel.labelLeft, sel.labelTop),
            std::make_tuple(41.0, 21.0, Point{45, 25}, 55, 35));
  sel.PicDown(20, 20);
  EXPECT_EQ(std::make_tuple(sel.bMoving, sel.pointer), std::make_tuple(true, runtime::MousePointer::SizeAll));
  sel.PicMove(25.5f, 17);
  EXPECT_EQ(std::make_tuple(sel.outline.left, sel.outline.top, corners()), std::make_tuple(15.5, 7.0, Corners{10, 10, 50, 30}));
  sel.PicUp(25.5f, 17);
  EXPECT_EQ(corners(), (Corners{16, 7, 56, 27}));  // 15.5 and 55.5 go to the even neighbours
  EXPECT_EQ(sel.pointer, runtime::MousePointer::Cross);
  // Inside without moving: nothing changes; on the edge: a new rectangle.
  Draw(30, 20, {});
  EXPECT_EQ(corners(), (Corners{16, 7, 56, 27}));
  Draw(16, 20, {});
  EXPECT_EQ(corners(), (Corners{-2, 2, 33, 37}));
}

TEST_F(Gestures, HandleDragsFollowTheHandleArithmeticAndOnlyTheLeftButtonAndCrossedCornersAreReordered) {
  Draw(10, 10, {{50, 50}});
  // Node(2) sits at (45, 45); a pointer at (4, 4) inside it gives 45 + 4 + 6.
  sel.NodeDown(2, 2);
  sel.NodeMove(2, 2, 20, 20);
  EXPECT_EQ(corners(), (Corners{10, 10, 50, 50})) << "right button";
  sel.NodeDown(2, kLeftButton);
  sel.NodeMove(2, kLeftButton, 4, 4);
  EXPECT_EQ(std::make_tuple(corners(), sel.outline.width, sel.outline.dotted), std::make_tuple(Corners{10, 10, 55, 55}, 46.0, true));
  sel.NodeMove(2, kLeftButton | 2, 30, 30);  // more than the left button: ignored
  EXPECT_EQ(corners(), (Corners{10, 10, 55, 55}));
  EXPECT_EQ(sel.node[2], (Point{45, 45})) << "the handle moves on release";
  sel.NodeUp(2, kLeftButton);
  EXPECT_EQ(std::make_tuple(sel.node[2], sel.outline.dotted, sel.bSizing), std::make_tuple(Point{50, 50}, false, false));
  // Node(1) carries x2 and y1; Node(3) x1 and y2.
  sel.NodeDown(1, kLeftButton);
  sel.NodeMove(1, kLeftButton, 0, 0);  // handle at (50, 5)
  EXPECT_EQ(corners(), (Corners{10, 5, 56, 55}));
  sel.NodeUp(1, kLeftButton);

  Draw(10, 10, {{50, 50}});
  sel.NodeFocused(0);
  sel.NodeDown(0, kLeftButton);
  sel.NodeMove(0, kLeftButton, 70, 0);  // x1 to 75, past x2
  EXPECT_EQ(sel.outline.left, 50) << "shown between the corners while crossed";
  sel.NodeUp(0, kLeftButton);
  EXPECT_EQ(corners(), (Corners{50, 5, 75, 50}));
  EXPECT_EQ(sel.lCurNode, 1) << "the dragged corner is now the top-right one";
  // Keys crossing the corners: the current handle keeps moving the same corner.
  sel.NodeFocused(2);  // (75, 50)
  for (int i = 0; i < 3; ++i) sel.KeyDown(37, 1);  // Shift+Left: 30 to the left
  EXPECT_EQ(std::make_tuple(corners(), sel.lCurNode, area.lAreaWidth), std::make_tuple(Corners{45, 5, 50, 50}, 3, 6));
}

TEST_F(Gestures, KeysMoveTheCurrentCornerOrTheWholeRectangle) {
  Draw(10, 10, {{50, 50}});
  sel.NodeFocused(2);
  const std::tuple<int, int, Corners> cases[] = {
      {39, 1, {10, 10, 60, 50}},  // Shift+Right widens by 10
      {39, 2, {11, 10, 61, 50}},  // Ctrl+Right moves by 1
      {40, 3, {11, 20, 61, 60}},  // Shift+Ctrl+Down moves by 10
      {36, 0, {11, 20, 60, 59}},  // Home: the corner up and left by 1
      {33, 4, {12, 19, 61, 58}},  // Alt+Page Up moves the whole rectangle
      {34, 5, {13, 20, 62, 59}},  // Shift+Alt is not Shift alone: step 1
      {35, 0, {13, 20, 61, 60}}, {38, 0, {13, 20, 61, 59}}, {41, 0, {13, 20, 61, 59}}, {44, 1, {13, 20, 61, 59}},
  };
  for (const auto& [code, shift, want] : cases) {
    EXPECT_TRUE(sel.KeyDown(code, shift)) << code;
    EXPECT_EQ(corners(), want) << code;
  }
  EXPECT_EQ(sel.label, " 49 x 40 ");
  sel.focusWanted = false;
  for (int code : {32, 45, 65, 112, 13, 27}) EXPECT_FALSE(sel.KeyDown(code, 0)) << code;
  EXPECT_FALSE(sel.focusWanted) << "ignored keys do not refresh";
}

// The form over the state machine, with no display.
TEST(Selector, OpensOnTheDesignRectangleEnterAcceptsEscapeCancelsAndStateOutlivesTheShow) {
  runtime::SetGui(nullptr);
  frmFullScr& form = frmFullScrForm();
  bool restored = false;
  form.Load();
  form.OnHidden = [&] { restored = true; };
  const AreaState& area = SharedArea();
  form.Form_Activate();
  EXPECT_EQ(std::make_tuple(area.lAreaX1, area.lAreaY1, area.lAreaWidth, area.lAreaHeight), std::make_tuple(5, 4, 32, 32));
  EXPECT_EQ(std::make_tuple(form.lblSize.Caption(), form.lblSize.Left(), form.Node(2).Left(), form.Node(2).Top()),
            std::make_tuple(" 32 x 32 ", 41.0, 31.0, 30.0));
  EXPECT_EQ(std::make_tuple(form.Node(0).BackColor(), form.Node(2).BackColor()), std::make_tuple(0x0000FF00u, 0x00FF0000u))
      << "the current handle is green";
  // A key with the focus on Node(2), then Enter: accepted, hourglass, main window back.
  form.Node(2).GotFocus();
  int code = 39, ascii = 13;
  form.KeyDown(code, 1);
  form.KeyPress(ascii);
  EXPECT_EQ(std::make_tuple(area.bAreaOK, restored, area.lAreaWidth), std::make_tuple(true, true, 42));
  EXPECT_EQ(runtime::Screen().GetMousePointer(), runtime::MousePointer::Hourglass);
  // Loading again runs no initialisation: the rectangle and handle persist.
  form.Load();
  form.Form_Activate();
  EXPECT_EQ(std::make_tuple(area.lAreaWidth, form.Node(2).BackColor()), std::make_tuple(42, 0x0000FF00u));
  EXPECT_EQ(runtime::Screen().GetMousePointer(), runtime::MousePointer::Default);
  ascii = 27;
  form.KeyPress(ascii);
  EXPECT_EQ(std::make_tuple(area.bAreaOK, area.lAreaWidth), std::make_tuple(false, 42)) << "Escape keeps the rectangle";
}

}  // namespace
}  // namespace areaselect
