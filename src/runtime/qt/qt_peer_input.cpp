// The peer's input: the widget's signals and events turned into the
// control's events.
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include <algorithm>
#include <cstdint>

#include "runtime/qt/qt_canvas.h"
#include "runtime/qt/qt_convert.h"
#include "runtime/qt/qt_dispatch.h"
#include "runtime/qt/qt_peer.h"

namespace runtime::qt {
namespace {

std::int16_t Clamp16(int v) { return static_cast<std::int16_t>(std::clamp(v, -32768, 32767)); }

}  // namespace

void QtPeer::ConnectSignals() {
  if (!widget_) return;
  auto click = [this] {
    if (!control_ || !control_->Click) return;
    DispatchScope scope;
    control_->Click();
  };
  switch (control_->Kind()) {
    case ControlKind::CommandButton:
      connect(static_cast<QPushButton*>(widget_.data()), &QPushButton::clicked, this, click);
      break;
    case ControlKind::OptionButton:
      connect(static_cast<QRadioButton*>(widget_.data()), &QRadioButton::clicked, this, [this] {
        if (!control_) return;
        {
          DispatchScope scope;
          static_cast<OptionButton*>(control_)->SetValue(true);
        }
        // Clicking a chosen option leaves it chosen, whatever Qt toggled.
        if (control_) Sync(Prop::Value);
      });
      break;
    case ControlKind::CheckBox:
      connect(static_cast<QCheckBox*>(widget_.data()), &QCheckBox::clicked, this, [this] {
        if (!control_) return;
        auto* box = static_cast<CheckBox*>(control_);
        {
          DispatchScope scope;
          box->SetValue(box->Value() == 1 ? 0 : 1);
        }
        if (control_) Sync(Prop::Value);
      });
      break;
    case ControlKind::TextBox: {
      auto changed = [this](const QString& text) {
        if (syncing_ || !control_) return;
        DispatchScope scope;
        control_->SetText(FromQString(text));
      };
      if (auto* line = qobject_cast<QLineEdit*>(widget_.data()))
        connect(line, &QLineEdit::textEdited, this, changed);
      else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget_.data()))
        connect(edit, &QPlainTextEdit::textChanged, this, [edit, changed] { changed(edit->toPlainText()); });
      break;
    }
    case ControlKind::HScrollBar:
    case ControlKind::VScrollBar: {
      auto* bar = static_cast<QScrollBar*>(widget_.data());
      // While the thumb is dragged each move is a Scroll; the value that
      // stands at the end (release, arrow, track click) is a Change.
      connect(bar, &QScrollBar::sliderMoved, this, [this](int v) {
        if (syncing_ || !control_) return;
        DispatchScope scope;
        static_cast<ScrollBar*>(control_)->Scrolled(Clamp16(v));
      });
      connect(bar, &QScrollBar::valueChanged, this, [this, bar](int v) {
        if (syncing_ || !control_ || bar->isSliderDown()) return;
        DispatchScope scope;
        static_cast<ScrollBar*>(control_)->ScrollDone(Clamp16(v));
      });
      connect(bar, &QScrollBar::sliderReleased, this, [this, bar] {
        if (syncing_ || !control_) return;
        DispatchScope scope;
        static_cast<ScrollBar*>(control_)->ScrollDone(Clamp16(bar->value()));
      });
      break;
    }
    default: break;
  }
}

bool QtPeer::eventFilter(QObject* watched, QEvent* event) {
  if (!control_) return false;
  auto* source = qobject_cast<QWidget*>(watched);
  if (!source) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      return Mouse(source, event);
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      return Key(source, event);
    case QEvent::FocusIn:
    case QEvent::FocusOut:
      if (source == widget_ && control_->Kind() != ControlKind::Form) {
        auto& handler = event->type() == QEvent::FocusIn ? control_->GotFocus : control_->LostFocus;
        if (handler) {
          DispatchScope scope;
          handler();
        }
      }
      return false;
    default:
      return false;
  }
}

bool QtPeer::Mouse(QWidget* source, QEvent* event) {
  // Shapes and lines take no mouse input: what is pressed on them belongs
  // to their container, to which Qt hands the event on when it is ignored.
  if (control_->Kind() == ControlKind::Shape || control_->Kind() == ControlKind::Line) return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  // A form's mouse events come from its client area, not from the frame.
  if (control_->Kind() == ControlKind::Form && source == widget_) return false;
  QWidget* area = ChildParent();
  const QPointF local = source == area ? mouse->position() : area->mapFrom(source, mouse->position());
  const QPointF client = local - QPointF(ChildOrigin());
  const double unit = 1.0 / PixelsPerUnit();
  const auto x = static_cast<float>(client.x() * unit), y = static_cast<float>(client.y() * unit);
  const int shift = ShiftState(mouse->modifiers());
  Control* c = control_;
  DispatchScope scope;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      afterDouble_ = false;
      if (c->MouseDown) c->MouseDown(ButtonMask(mouse->button()), shift, x, y);
      break;
    case QEvent::MouseMove:
      if (c->MouseMove) c->MouseMove(ButtonMask(mouse->buttons()), shift, x, y);
      break;
    case QEvent::MouseButtonDblClick:
      afterDouble_ = true;
      if (c->DblClick) c->DblClick();
      break;
    case QEvent::MouseButtonRelease: {
      if (c->MouseUp) c->MouseUp(ButtonMask(mouse->button()), shift, x, y);
      // Buttons and options click through their own signals.
      const bool ownClick = c->Kind() == ControlKind::CommandButton || c->Kind() == ControlKind::OptionButton ||
                            c->Kind() == ControlKind::CheckBox;
      if (!ownClick && !afterDouble_ && mouse->button() == Qt::LeftButton && control_ && c->Click &&
          area->rect().contains(local.toPoint()))
        c->Click();
      afterDouble_ = false;
      break;
    }
    default: break;
  }
  // Widgets that do nothing with the mouse would hand the event on to their
  // container, which would then report it a second time.
  return qobject_cast<QtCanvas*>(source) || qobject_cast<QLabel*>(source) ||
         (qobject_cast<QFrame*>(source) && source == widget_ && control_ && control_->Kind() == ControlKind::Frame);
}

bool QtPeer::Key(QWidget* source, QEvent* event) {
  // Qt hands an unused key on to the parents; only the first receiver counts.
  QWidget* first = QApplication::focusWidget();
  if (first ? first != source : !source->isWindow()) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  Control* c = control_;
  Form* form = c->ParentForm();
  Control* preview = form && form->KeyPreview && form != c ? form : nullptr;
  const int shift = ShiftState(key->modifiers());
  int code = VirtualKey(key->key(), key->modifiers() & Qt::KeypadModifier);
  DispatchScope scope;
  const bool down = event->type() == QEvent::KeyPress;
  for (Control* target : {preview, c}) {
    if (!target || !code) continue;
    auto& handler = down ? target->KeyDown : target->KeyUp;
    if (handler) handler(code, shift);
  }
  if (code == 0 && VirtualKey(key->key(), key->modifiers() & Qt::KeypadModifier) != 0) return true;
  if (!down || key->text().isEmpty()) return false;
  int ascii = key->text().at(0).unicode();
  for (Control* target : {preview, c}) {
    if (target && ascii && target->KeyPress) target->KeyPress(ascii);
  }
  return ascii == 0;  // a handler that clears the code swallows the key
}

}  // namespace runtime::qt
