// Starts the Qt peers from their own module, so that a run which shows no
// window never loads the GUI toolkit.
#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "runtime/app.h"
#include "runtime/gui.h"

namespace runtime {

std::unique_ptr<GuiBackend> StartGuiBackend() {
  // Beside the executable first, then beside this runtime library (where an
  // installed tree keeps it), then the library search path. The module
  // itself checks that a display can be reached.
  const std::string beside = (std::filesystem::path(App().Path) / "libglimmet_qt.so").string();
  void* module = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
  // Found by our own address rather than by the caller's search path, which
  // a dlopen wrapper (a sanitizer's) hides.
  Dl_info self{};
  if (!module && dladdr(reinterpret_cast<void*>(&StartGuiBackend), &self) && self.dli_fname) {
    const std::string nextToRuntime =
        (std::filesystem::path(self.dli_fname).parent_path() / "libglimmet_qt.so").string();
    module = dlopen(nextToRuntime.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (!module) module = dlopen("libglimmet_qt.so", RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    std::fprintf(stderr, "glimmet: cannot load the GUI module: %s\n", dlerror());
    return nullptr;
  }
  using Factory = GuiBackend* (*)();
  auto factory = reinterpret_cast<Factory>(dlsym(module, "glimmet_create_gui_backend"));
  if (!factory) return nullptr;
  return std::unique_ptr<GuiBackend>(factory());
}

}  // namespace runtime
