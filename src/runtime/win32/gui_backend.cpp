// The Win32 peers (native child windows) are not written yet, so the
// Windows build has no GUI backend: the runtime then behaves as on a
// machine without a display, and only runs that show no window work.
#include <memory>

#include "runtime/gui.h"

namespace runtime {

std::unique_ptr<GuiBackend> StartGuiBackend() { return nullptr; }

}  // namespace runtime
