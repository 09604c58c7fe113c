#include "runtime/gui.h"

#include <cstdio>

#include "runtime/app.h"
#include "runtime/printer.h"

namespace runtime {

// Provided by the platform folder: starts the platform's toolkit backend, or
// returns nullptr when it cannot (no display).
std::unique_ptr<GuiBackend> StartGuiBackend();

namespace {
// Never destroyed by static destruction: by then the toolkit's own globals
// may be gone. ShutdownGui ends the backend while everything still lives.
std::unique_ptr<GuiBackend>& Slot() {
  static auto* backend = new std::unique_ptr<GuiBackend>;
  return *backend;
}
bool& Tried() {
  static bool tried = false;
  return tried;
}
}  // namespace

std::unique_ptr<PrinterDevice> GuiBackend::OpenDefaultPrinter(std::string& why) {
  why = "this platform has no printing service";
  return nullptr;
}

GuiBackend* Gui() {
  if (!Slot() && !Tried()) {
    Tried() = true;
    Slot() = StartGuiBackend();
  }
  return Slot().get();
}

GuiBackend* GuiIfStarted() { return Slot().get(); }

void ShutdownGui() { Slot().reset(); }

void SetGui(std::unique_ptr<GuiBackend> backend) {
  Slot() = std::move(backend);
  Tried() = true;
}

void MsgBox(const std::string& text, MsgBoxStyle style, const std::string& title) {
  const std::string& caption = title.empty() ? App().Title : title;
  if (GuiBackend* gui = Gui())
    gui->MsgBox(text, style, caption);
  else
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

void Beep() {
  if (GuiBackend* gui = Gui()) gui->Beep();
}

}  // namespace runtime
