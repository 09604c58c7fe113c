// The peer's creation: the widget for each control kind, and where it
// stands among its siblings. Its state sync is in qt_peer_sync.cpp, its
// input in qt_peer_input.cpp.
#include "runtime/qt/qt_peer.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QToolBar>

#include "runtime/qt/qt_canvas.h"
#include "runtime/qt/qt_convert.h"
#include "runtime/qt/qt_dispatch.h"
#include "runtime/qt/qt_form_window.h"

namespace runtime::qt {

QtPeer::QtPeer(Form& form, QtFormWindow* window) : QObject(window), control_(&form), widget_(window) {
  form.peer = this;
  Watch(window);
  Watch(window->Client());
}

QtPeer::QtPeer(Control& control, QtPeer& container) : QObject(container.ChildParent()), control_(&control), container_(&container) {
  control.peer = this;
  Build(container.ChildParent());
  if (widget_) {
    Watch(widget_);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(widget_.data())) Watch(edit->viewport());
  }
  ConnectSignals();
}

QtPeer::QtPeer(Menu& menu, QAction* action, QObject* owner) : QObject(owner), control_(&menu), action_(action) {
  menu.peer = this;
  connect(action, &QAction::triggered, this, [this] {
    if (!control_ || !control_->Click) return;
    DispatchScope scope;
    control_->Click();
  });
}

void QtPeer::Build(QWidget* parent) {
  QWidget* w = nullptr;
  switch (control_->Kind()) {
    case ControlKind::Label: {
      auto* label = new QLabel(parent);
      const auto* model = static_cast<Label*>(control_);
      const Qt::Alignment across = model->Alignment == Label::kCenter  ? Qt::AlignHCenter
                                   : model->Alignment == Label::kRight ? Qt::AlignRight
                                                                       : Qt::AlignLeft;
      label->setAlignment(across | Qt::AlignTop);
      if (model->BorderStyle) {
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
        label->setLineWidth(1);
      }
      label->setWordWrap(model->Alignment == Label::kLeft);
      label->setTextFormat(Qt::PlainText);
      w = label;
      break;
    }
    case ControlKind::TextBox:
      if (static_cast<TextBox*>(control_)->MultiLine) {
        auto* edit = new QPlainTextEdit(parent);
        edit->setLineWrapMode(static_cast<TextBox*>(control_)->ScrollBars ? QPlainTextEdit::NoWrap
                                                                          : QPlainTextEdit::WidgetWidth);
        w = edit;
      } else {
        w = new QLineEdit(parent);
      }
      break;
    case ControlKind::CommandButton: {
      // Enter presses the focused button, as Space does.
      auto* button = new QPushButton(parent);
      button->setAutoDefault(true);
      w = button;
      break;
    }
    case ControlKind::OptionButton: {
      // The model keeps an option group exclusive; Qt must not fight it.
      auto* radio = new QRadioButton(parent);
      radio->setAutoExclusive(false);
      w = radio;
      break;
    }
    case ControlKind::CheckBox: w = new QCheckBox(parent); break;
    case ControlKind::Frame:
      if (control_->Caption().empty()) {
        auto* frame = new QFrame(parent);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        w = frame;
      } else {
        w = new QGroupBox(parent);
      }
      break;
    case ControlKind::PictureBox: {
      auto* canvas = new QtCanvas(*control_, parent);
      canvas->setAutoFillBackground(true);
      canvas->setFocusPolicy(Qt::ClickFocus);
      w = canvas;
      break;
    }
    case ControlKind::Image: w = new QtCanvas(*control_, parent); break;
    case ControlKind::Shape:
    case ControlKind::Line:
      w = new QtCanvas(*control_, parent);
      w->setAttribute(Qt::WA_TransparentForMouseEvents);
      break;
    case ControlKind::HScrollBar: w = new QScrollBar(Qt::Horizontal, parent); break;
    case ControlKind::VScrollBar: w = new QScrollBar(Qt::Vertical, parent); break;
    case ControlKind::Toolbar: {
      auto* bar = new QToolBar(parent);
      bar->setIconSize(QSize(16, 16));
      bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
      bar->setMovable(false);
      bar->setFloatable(false);
      w = bar;
      break;
    }
    default: return;  // timers, image lists, dialogs and menus have no widget
  }
  widget_ = w;
  designFocus_ = w->focusPolicy();
  if (Windowed()) w->setAttribute(Qt::WA_NativeWindow);
  else StackWindowless();
}

void QtPeer::ApplyFocusable() {
  if (!widget_ || !control_ || control_->Kind() == ControlKind::Form || designFocus_ == Qt::NoFocus) return;
  QRect shown = widget_->geometry();
  for (QWidget* p = widget_->parentWidget(); p && !shown.isEmpty(); p = p->parentWidget()) {
    shown &= p->rect();
    if (p->isWindow()) break;
    shown.translate(p->pos());
  }
  const Qt::FocusPolicy policy = shown.isEmpty() ? Qt::NoFocus : designFocus_;
  if (widget_->focusPolicy() != policy) widget_->setFocusPolicy(policy);
}

// A windowless control is drawn on its container, under every sibling that
// is a window, as the windowed controls' windows lie above the container's
// own drawing; among the windowless ones the later stays on top. Qt would
// paint a later windowless sibling across the windows' pixels (the
// selector's outline across its handles).
void QtPeer::StackWindowless() {
  QWidget* parent = widget_->parentWidget();
  if (!parent) return;
  for (QObject* child : parent->children()) {
    auto* sibling = qobject_cast<QWidget*>(child);
    if (sibling && sibling != widget_ && sibling->testAttribute(Qt::WA_NativeWindow)) {
      widget_->stackUnder(sibling);
      return;
    }
  }
  widget_->raise();
}

bool QtPeer::Windowed() const {
  if (!control_) return false;
  switch (control_->Kind()) {
    // Windowless, so that a transparent label or a hollow shape shows what
    // lies beneath it.
    case ControlKind::Label:
    case ControlKind::Image:
    case ControlKind::Shape:
    case ControlKind::Line:
    case ControlKind::Menu:
      return false;
    default:
      return widget_ != nullptr;
  }
}

QWidget* QtPeer::ChildParent() const {
  if (auto* window = qobject_cast<QtFormWindow*>(widget_.data())) return window->Client();
  return widget_;
}

QPoint QtPeer::ChildOrigin() const {
  if (auto* canvas = qobject_cast<QtCanvas*>(widget_.data());
      canvas && control_ && control_->Kind() == ControlKind::PictureBox)
    return QPoint(canvas->Inset(), canvas->Inset());
  // Inside a frame's border, so that the options' circles leave it whole.
  if (control_ && control_->Kind() == ControlKind::Frame)
    if (auto* frame = qobject_cast<QFrame*>(widget_.data())) return QPoint(frame->frameWidth(), frame->frameWidth());
  return {};
}

double QtPeer::PixelsPerUnit() const {
  if (control_ && control_->Kind() == ControlKind::PictureBox &&
      static_cast<PictureBox*>(control_)->GetScaleMode() == ScaleMode::Pixels)
    return 1.0;
  return 1.0 / kTwipsPerPixel;
}

void QtPeer::Watch(QObject* object) { object->installEventFilter(this); }

void QtPeer::Detach() {
  control_ = nullptr;
  if (auto* canvas = qobject_cast<QtCanvas*>(widget_.data())) canvas->Detach();
  if (widget_) {
    widget_->removeEventFilter(this);
    widget_->disconnect(this);
  }
  if (action_) action_->disconnect(this);
}

}  // namespace runtime::qt
