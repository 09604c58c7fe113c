// The screen object: size of the primary screen in twips, the twips per
// pixel, and the application-wide mouse pointer.
#pragma once
#include <cstdint>

namespace runtime {

enum class MousePointer {
  Default = 0,
  Cross = 2,
  SizeNESW = 6,
  SizeNWSE = 8,
  Hourglass = 11,
  SizeAll = 15,
};

struct ScreenObject {
  double Width() const;   // twips
  double Height() const;  // twips
  // Where the primary screen lies on the desktop, which may hold several
  // monitors (twips; 0 where there is only one).
  double Left() const;
  double Top() const;
  double TwipsPerPixelX() const { return 15; }
  double TwipsPerPixelY() const { return 15; }
  MousePointer GetMousePointer() const { return pointer_; }
  void SetMousePointer(MousePointer pointer);

 private:
  MousePointer pointer_ = MousePointer::Default;
};

ScreenObject& Screen();

// Rounds half to even, as the run-time's conversions to integers do.
std::int32_t CLng(double value);

}  // namespace runtime
