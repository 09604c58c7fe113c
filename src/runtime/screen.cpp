#include "runtime/screen.h"

#include <cmath>

#include "runtime/forms.h"
#include "runtime/gui.h"
#include "runtime/platform.h"

namespace runtime {

namespace {
struct PrimaryRect {
  std::int32_t left = 0, top = 0, width = 0, height = 0;
};
PrimaryRect Primary() {
  PrimaryRect r;
  platform::PrimaryScreenRect(r.left, r.top, r.width, r.height);
  return r;
}
}  // namespace

double ScreenObject::Width() const { return Primary().width * TwipsPerPixelX(); }
double ScreenObject::Height() const { return Primary().height * TwipsPerPixelY(); }
double ScreenObject::Left() const { return Primary().left * TwipsPerPixelX(); }
double ScreenObject::Top() const { return Primary().top * TwipsPerPixelY(); }

void ScreenObject::SetMousePointer(MousePointer pointer) {
  pointer_ = pointer;
  // The override applies to every form; let realised peers re-read it.
  if (GuiBackend* gui = GuiIfStarted())
    for (Form* form : LoadedForms()) gui->Sync(*form, Prop::MousePointer);
}

ScreenObject& Screen() {
  static ScreenObject screen;
  return screen;
}

std::int32_t CLng(double value) { return static_cast<std::int32_t>(std::nearbyint(value)); }

}  // namespace runtime
