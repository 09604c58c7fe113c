#include "runtime/qt/qt_form_window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>

#include "runtime/qt/qt_convert.h"
#include "runtime/qt/qt_dispatch.h"
#include "runtime/qt/qt_peer.h"
#include "runtime/qt/window_system.h"

namespace runtime::qt {
namespace {
int Px(double twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }
}  // namespace

QtFormWindow::QtFormWindow(Form& form, WindowSystem& windowSystem)
    : QWidget(nullptr),
      windowSystem_(&windowSystem),
      form_(&form),
      menuBar_(new QMenuBar(this)),
      client_(new QtCanvas(form, this)) {
  // The client area is a window of its own, so that the controls' windows
  // are its children and their positions are client coordinates.
  client_->setAttribute(Qt::WA_NativeWindow);
  client_->setAutoFillBackground(true);
  menuBar_->setNativeMenuBar(false);
  menuBar_->hide();
  ApplyStyle();
}

void QtFormWindow::ApplyStyle() {
  if (!form_) return;
  Qt::WindowFlags flags = Qt::Window;
  switch (form_->BorderStyle) {
    case FormBorder::None:
      flags |= Qt::FramelessWindowHint;
      if (!form_->ShowInTaskbar) flags |= Qt::Tool;
      // A borderless maximised window covers the screen above everything,
      // docks and panels included.
      if (form_->GetWindowState() == WindowState::Maximized) flags |= Qt::WindowStaysOnTopHint;
      break;
    case FormBorder::FixedToolWindow:
      flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
      break;
    case FormBorder::FixedDialog:
      flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
               (form_->ControlBox ? Qt::WindowCloseButtonHint : Qt::WindowFlags());
      break;
    case FormBorder::FixedSingle:
      flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
               (form_->ControlBox ? Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint : Qt::WindowFlags());
      break;
    case FormBorder::Sizable:
      if (!form_->ControlBox) flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
      break;
  }
  if (windowFlags() != flags) setWindowFlags(flags);  // hides the window; callers re-show
  setWindowTitle(ToQString(form_->Caption()));
  const QImage icon = ToQImage(form_->Icon);
  if (!icon.isNull()) setWindowIcon(QIcon(QPixmap::fromImage(icon)));
}

int QtFormWindow::MenuHeight() const {
  for (QAction* action : menuBar_->actions())
    if (action->isVisible()) return menuBar_->sizeHint().height();
  return 0;
}

void QtFormWindow::SetClientSize(int w, int h) {
  clientSize_ = QSize(std::max(1, w), std::max(1, h));
  const int menu = MenuHeight();
  menuBar_->setVisible(menu > 0);
  menuBar_->setGeometry(0, 0, clientSize_.width(), menu);
  client_->setGeometry(0, menu, clientSize_.width(), clientSize_.height());
  const QSize outer(clientSize_.width(), clientSize_.height() + menu);
  const bool fixed = form_ && form_->BorderStyle != FormBorder::Sizable;
  if (fixed)
    setFixedSize(outer);
  else
    resize(outer);
}

void QtFormWindow::ApplyInitialGeometry() {
  if (!form_) return;
  // A borderless window has no frame, so its outer size is its client size.
  const bool outerIsClient = form_->BorderStyle == FormBorder::None && form_->Width() > 0;
  const bool haveClient = form_->ClientWidth() > 0 && form_->ClientHeight() > 0;
  if (outerIsClient || !haveClient)
    SetClientSize(Px(form_->Width()), Px(form_->Height()));
  else
    SetClientSize(Px(form_->ClientWidth()), Px(form_->ClientHeight()));
  switch (form_->StartUpPosition) {
    case 0: move(Px(form_->Left()), Px(form_->Top())); break;
    case 1: case 2: {
      const QRect screen = QGuiApplication::primaryScreen()->geometry();
      move(screen.center() - QPoint(width() / 2, height() / 2));
      break;
    }
    default: break;  // where the window manager puts it
  }
}

void QtFormWindow::ApplyGeometry() {
  if (!form_) return;
  const QRect frame = frameGeometry(), inner = geometry();
  const int extraW = frame.width() - inner.width(), extraH = frame.height() - inner.height();
  if (QSize(Px(form_->ClientWidth()), Px(form_->ClientHeight())) != clientSize_ && form_->ClientWidth() > 0)
    SetClientSize(Px(form_->ClientWidth()), Px(form_->ClientHeight()));
  else if (Px(form_->Width()) != frame.width() || Px(form_->Height()) != frame.height())
    SetClientSize(Px(form_->Width()) - extraW, Px(form_->Height()) - extraH - MenuHeight());
  if (Px(form_->Left()) != frame.x() || Px(form_->Top()) != frame.y()) move(Px(form_->Left()), Px(form_->Top()));
}

void QtFormWindow::ApplyVisible() {
  if (!form_) return;
  const bool show = form_->IsShown() && form_->Visible();
  if (!show) {
    const bool wasVisible = isVisible();
    if (wasVisible) shownAt_ = ClientOrigin();
    hide();
    if (wasVisible) WaitUntilOffScreen();
    return;
  }
  const bool appearing = !isVisible();
  if (appearing) setWindowModality(form_->ShownModal() ? Qt::ApplicationModal : Qt::NonModal);
  // Shown again where it was hidden, not wherever the window manager would
  // place a new window.
  if (appearing && shownAt_) {
    // Through the native window, so that the position goes out as one the
    // user chose and the window manager keeps it.
    setGeometry(QRect(*shownAt_, size()));
    if (windowHandle()) windowHandle()->setGeometry(QRect(*shownAt_, size()));
  }
  ApplyWindowState();
  raise();
  activateWindow();
  if (appearing) PaintOnceExposed();
}

// A window shown just before the program blocks (the splash before its
// sleep) must be on screen and painted by then: wait briefly for the server
// to expose it, then paint at once.
void QtFormWindow::PaintOnceExposed() {
  QElapsedTimer waited;
  waited.start();
  while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < 500)
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 20);
  repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

std::optional<QPoint> QtFormWindow::ClientOrigin() {
  if (!testAttribute(Qt::WA_WState_Created)) return std::nullopt;
  const std::optional<ScreenPoint> origin = windowSystem_->ClientOrigin(winId());
  if (!origin) return std::nullopt;
  return QPoint(origin->x, origin->y);
}

void QtFormWindow::WaitUntilOffScreen() {
  if (testAttribute(Qt::WA_WState_Created)) windowSystem_->WaitUntilOffScreen(winId());
}

void QtFormWindow::ApplyWindowState() {
  if (!form_) return;
  switch (form_->GetWindowState()) {
    case WindowState::Minimized: showMinimized(); break;
    case WindowState::Maximized:
      // Without a border, maximised means the whole screen, over the panels.
      if (form_->BorderStyle == FormBorder::None) {
        setGeometry(QGuiApplication::primaryScreen()->geometry());
        showFullScreen();
      } else {
        showMaximized();
      }
      break;
    default: showNormal(); break;
  }
}

void QtFormWindow::closeEvent(QCloseEvent* event) {
  if (!form_ || !form_->Loaded()) return;
  Form* form = form_;
  {
    DispatchScope scope;
    form->Unload();
  }
  // A cancelled unload keeps the window.
  if (form->Loaded()) event->ignore();
}

void QtFormWindow::ReportGeometry() {
  if (!form_ || !isVisible()) return;
  const QRect frame = frameGeometry();
  form_->PeerMoved(frame.x() * kTwipsPerPixel, frame.y() * kTwipsPerPixel, frame.width() * kTwipsPerPixel,
                   frame.height() * kTwipsPerPixel);
}

void QtFormWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  ReportGeometry();
}

void QtFormWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The client area follows the window; the controls stay where they are.
  const int menu = menuBar_->isHidden() ? 0 : menuBar_->height();
  menuBar_->resize(width(), menu);
  client_->setGeometry(0, menu, width(), std::max(1, height() - menu));
  // What the client area shows, and so what may take the focus, changed.
  for (QtPeer* peer : client_->findChildren<QtPeer*>()) peer->ApplyFocusable();
  ReportGeometry();
}

void QtFormWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !form_) return;
  const Qt::WindowStates s = windowState();
  form_->PeerWindowState(s & Qt::WindowMinimized   ? WindowState::Minimized
                         : s & Qt::WindowMaximized ? WindowState::Maximized
                                                   : WindowState::Normal);
}

}  // namespace runtime::qt
