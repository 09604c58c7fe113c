#include "runtime/screen.h"

#include <cmath>

#include "runtime/forms.h"
#include "runtime/gui.h"
#include "runtime/platform.h"

namespace runtime {

double ScreenObject::Width() const {
  std::int32_t w = 0, h = 0;
  platform::PrimaryScreenSize(w, h);
  return w * TwipsPerPixelX();
}

double ScreenObject::Height() const {
  std::int32_t w = 0, h = 0;
  platform::PrimaryScreenSize(w, h);
  return h * TwipsPerPixelY();
}

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
