// The top-level window of a form: a menu bar on top and, below it, the
// client area that holds the controls at their design positions.
#pragma once
#include <QMenuBar>
#include <QWidget>
#include <optional>

#include "runtime/forms.h"
#include "runtime/qt/qt_canvas.h"

namespace runtime::qt {

class WindowSystem;

class QtFormWindow : public QWidget {
  Q_OBJECT
 public:
  QtFormWindow(Form& form, WindowSystem& windowSystem);
  void Detach() { form_ = nullptr; client_->Detach(); }
  QtCanvas* Client() const { return client_; }
  QMenuBar* MenuBar() const { return menuBar_; }

  // Window flags, title and icon from the model.
  void ApplyStyle();
  // Client size from the design, placed as StartUpPosition says (first show).
  void ApplyInitialGeometry();
  // The model moved or resized the outer window.
  void ApplyGeometry();
  // Lays the menu bar and the client area out for a client of w x h pixels.
  void SetClientSize(int w, int h);
  void ApplyVisible();
  void PaintOnceExposed();
  void ApplyWindowState();
  // A capture right after a hide must not find the frame still there.
  void WaitUntilOffScreen();
  // Where the server has the client area now, moves by others included.
  std::optional<QPoint> ClientOrigin();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int MenuHeight() const;
  void ReportGeometry();
  WindowSystem* windowSystem_;
  Form* form_;
  QMenuBar* menuBar_;
  QtCanvas* client_;
  QSize clientSize_;
  std::optional<QPoint> shownAt_;  // where the window was when last hidden
};

}  // namespace runtime::qt
