// The area selector's rectangle and its gestures, free of any window: the
// selector form feeds mouse, handle and key events in and shows what
// comes out (handle places, the outline, the size label, the pointer).
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "runtime/screen.h"

namespace areaselect {

// What the selector hands back to the main window. Corners are inclusive
// pixels of the frozen screen.
struct AreaState {
  bool bAreaOK = false;
  std::int32_t lAreaX1 = 0, lAreaY1 = 0, lAreaX2 = 0, lAreaY2 = 0;
  std::int32_t lAreaWidth = 0, lAreaHeight = 0;
};

// The module-level selection shared with the main window.
AreaState& SharedArea();

inline constexpr int kNodeSize = 10;
inline constexpr int kLeftButton = 1;  // the button mask of the left button alone

struct OutlineView {
  double left = 0, top = 0, width = 0, height = 0;
  bool dotted = false;
};

class Selection {
 public:
  explicit Selection(AreaState& area) : a(area) {}

  // First load: the rectangle from the outline's design rectangle (pixels).
  void Initialise(double left, double top, double width, double height);
  // Brings handles, outline and label into line with the rectangle; asks
  // for the focus on the current handle.
  void UpdateSelection();

  // Mouse on the picture, any button.
  void PicDown(float x, float y);
  void PicMove(float x, float y);
  void PicUp(float x, float y);
  // Mouse on handle i; (x, y) in the handle's client pixels.
  void NodeDown(int i, int button);
  void NodeMove(int i, int button, float x, float y);
  void NodeUp(int i, int button);
  // Key-down with the modifier state (Shift 1, Ctrl 2, Alt 4). False for
  // keys the selector does not use: nothing changed.
  bool KeyDown(int keyCode, int shift);
  // A handle got the focus.
  void NodeFocused(int i) { lCurNode = i; }

  // " 320 x 200 ": each number after its sign position, a final blank.
  static std::string SizeText(std::int32_t width, std::int32_t height);

  AreaState& a;
  std::int32_t lCurNode = 0;
  bool bDrawing = false, bMoving = false, bSizing = false;
  float sngStartX = 0, sngStartY = 0, sngCurX = 0, sngCurY = 0;

  // What the form shows.
  std::array<std::array<std::int32_t, 2>, 4> node{};  // handle top-left corners
  OutlineView outline;
  std::int32_t labelLeft = 0, labelTop = 0;
  std::string label;
  runtime::MousePointer pointer = runtime::MousePointer::Cross;
  bool focusWanted = false;  // UpdateSelection asked for the focus on lCurNode

 private:
  void OrderCorners();
  void OutlineFromRect(bool dotted);
};

}  // namespace areaselect
