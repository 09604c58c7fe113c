// The Qt 6 backend: native peers for forms and controls, the pump of the
// runtime's event loop, message boxes, the beep and the save dialog.
#pragma once
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

#include "runtime/gui.h"

namespace runtime::qt {

class QtFormWindow;
class QtPeer;
class WindowSystem;

class QtBackend : public GuiBackend {
 public:
  // Takes over a running QApplication on the given window system.
  QtBackend(std::unique_ptr<QApplication> app, std::unique_ptr<WindowSystem> windowSystem);
  ~QtBackend() override;
  QtBackend(const QtBackend&) = delete;
  QtBackend& operator=(const QtBackend&) = delete;

  void Realize(Form& form) override;
  void Destroy(Form& form) override;
  void Sync(Control& control, Prop prop) override;
  void Pump(int timeoutMs) override;
  void Beep() override;
  void MsgBox(const std::string& text, MsgBoxStyle style, const std::string& title) override;
  HWND Handle(const Control& control) override;
  void Focus(Control& control) override;
  bool ShowSave(CommonDialog& dialog) override;
  void Forget(Control& control) override;
  bool SetClipboardPicture(const Bitmap* bitmap) override;
  std::unique_ptr<PrinterDevice> OpenDefaultPrinter(std::string& why) override;

 private:
  void RealizeChildren(Control& container, QtPeer& containerPeer);
  void BuildMenus(Form& form, QtFormWindow& window);
  void DetachTree(Control& control);
  void Bury(QtFormWindow* window);
  void DeleteBuried();
  void ApplyOverrideCursor();
  void Flush();
  void KeepClipboard();

  std::unique_ptr<QApplication> app_;
  QTimer wake_;  // bounds the wait of Pump
  std::vector<QPointer<QtFormWindow>> buried_;
  bool overrideCursor_ = false;
  std::unique_ptr<WindowSystem> windowSystem_;
  // What this program last put on the clipboard, as offered.
  std::string clipboardPng_, clipboardBmp_;
};

}  // namespace runtime::qt
