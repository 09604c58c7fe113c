// Placeholder until the Qt peers land.
#include "runtime/gui.h"

extern "C" runtime::GuiBackend* glimmet_create_gui_backend() { return nullptr; }
