// The interface between the forms model and a GUI toolkit. The backend
// (Qt on Linux, Win32 on Windows) is created on first need, so a batch run
// that shows nothing never starts a toolkit.
#pragma once
#include <memory>
#include <string>

#include "runtime/types.h"

namespace runtime {

struct Bitmap;
class CommonDialog;
class Control;
class PrinterDevice;
class Form;
enum class Prop;

enum class MsgBoxStyle { OkOnly = 0, Critical = 16 };

class GuiBackend {
 public:
  virtual ~GuiBackend() = default;
  // Creates native peers for a form and all its controls (once).
  virtual void Realize(Form& form) = 0;
  // Destroys the peers of an unloaded form.
  virtual void Destroy(Form& form) = 0;
  // A model property changed: bring the peer in step.
  virtual void Sync(Control& control, Prop prop) = 0;
  // Processes pending native events, waiting up to timeoutMs for the first
  // when there is none (0 = do not wait).
  virtual void Pump(int timeoutMs) = 0;
  virtual void Beep() = 0;
  virtual void MsgBox(const std::string& text, MsgBoxStyle style, const std::string& title) = 0;
  // Native handle of a realised control or form, 0 when not realised.
  virtual HWND Handle(const Control& control) = 0;
  virtual void Focus(Control& control) = 0;
  // Runs the save dialog modally; false when the user cancels.
  virtual bool ShowSave(CommonDialog& dialog) { return false; }
  // A control with a peer is being destroyed: drop every reference to it.
  virtual void Forget(Control& control) {}
  // Replaces the clipboard's content with a copy of the bitmap, or empties
  // it (nullptr); false when the clipboard refuses.
  virtual bool SetClipboardPicture(const Bitmap* bitmap) { return false; }
  // The system's default printer, ready for one document; nullptr with the
  // reason in why when there is none.
  virtual std::unique_ptr<PrinterDevice> OpenDefaultPrinter(std::string& why);
};

// The backend, created on first call; nullptr when none can start (no
// display). Never call it on a road that must stay toolkit-free.
GuiBackend* Gui();
// The backend if it was already started, else nullptr.
GuiBackend* GuiIfStarted();
// Ends the backend (the toolkit hands over what it owns, e.g. the
// clipboard); call before leaving main.
void ShutdownGui();
// Replaces the backend (tests install a recording stand-in).
void SetGui(std::unique_ptr<GuiBackend> backend);

// A message box with an OK button; title defaults to the program's title.
// Batch runs must never call it; without a display it writes to stderr.
void MsgBox(const std::string& text, MsgBoxStyle style = MsgBoxStyle::OkOnly,
            const std::string& title = {});
// The platform's default beep.
void Beep();

}  // namespace runtime
