// The Win32 peers (native child windows) are not written yet. A batch run
// gets a backend with the services it may use (printing, the message pump,
// the beep); the interactive program gets none, and so says that it cannot
// show its main window instead of waiting on windows that never appear.
#include "runtime/gui.h"

#include <windows.h>

#include <memory>

#include "runtime/app.h"
#include "runtime/win32/print.h"
#include "runtime/win32/wide.h"

namespace runtime {
namespace {

class BatchServices final : public GuiBackend {
 public:
  void Realize(Form&) override {}
  void Destroy(Form&) override {}
  void Sync(Control&, Prop) override {}
  void Pump(int timeoutMs) override {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) && timeoutMs > 0)
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeoutMs), QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  void Beep() override { MessageBeep(MB_OK); }
  void MsgBox(const std::string& text, MsgBoxStyle style, const std::string& title) override {
    std::wstring wideText, wideTitle;
    win32::ToWide(text, wideText);
    win32::ToWide(title, wideTitle);
    MessageBoxW(nullptr, wideText.c_str(), wideTitle.c_str(),
                style == MsgBoxStyle::Critical ? MB_OK | MB_ICONERROR : MB_OK);
  }
  HWND Handle(const Control&) override { return 0; }
  void Focus(Control&) override {}
  std::unique_ptr<PrinterDevice> OpenDefaultPrinter(std::string& why) override {
    return win32::OpenDefaultPrinter(why);
  }
};

}  // namespace

std::unique_ptr<GuiBackend> StartGuiBackend() {
  // A command of blanks only is the interactive program, as start-up sees it.
  const std::string& command = App().Command;
  if (command.find_first_not_of(' ') == std::string::npos) return nullptr;
  return std::make_unique<BatchServices>();
}

}  // namespace runtime
