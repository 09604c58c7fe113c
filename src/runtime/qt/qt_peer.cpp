#include "runtime/qt/qt_peer.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QToolBar>

#include <cmath>

#include "runtime/qt/qt_canvas.h"
#include "runtime/qt/qt_convert.h"
#include "runtime/qt/qt_dispatch.h"
#include "runtime/qt/qt_form_window.h"

namespace runtime::qt {
namespace {

int Round(double v) { return static_cast<int>(std::lround(v)); }

// A caption's "&x" marks an access key; "&&" is a literal ampersand. A
// carriage return and line feed is one line break.
QString WithoutMnemonic(const std::string& caption) {
  QString out;
  const QString in = ToQString(caption).replace(QLatin1String("\r\n"), QLatin1String("\n"));
  for (qsizetype i = 0; i < in.size(); ++i) {
    if (in[i] == '&' && i + 1 < in.size()) ++i;
    out += in[i];
  }
  return out;
}

std::int16_t Clamp16(int v) { return static_cast<std::int16_t>(std::clamp(v, -32768, 32767)); }

}  // namespace

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

void QtPeer::SyncAll() {
  for (Prop p : {Prop::Font, Prop::Colors, Prop::Caption, Prop::Range, Prop::Value, Prop::Geometry, Prop::Enabled,
                 Prop::MousePointer, Prop::Items, Prop::Visible})
    Sync(p);
}

void QtPeer::Sync(Prop prop) {
  if (!control_) return;
  if (control_->Kind() == ControlKind::Menu) {
    ApplyMenu();
    return;
  }
  if (!widget_) return;
  if (control_->Kind() == ControlKind::Form) {
    SyncForm(prop);
    return;
  }
  syncing_ = true;
  switch (prop) {
    case Prop::Geometry: ApplyGeometry(); break;
    case Prop::Visible: widget_->setVisible(control_->Visible()); break;
    case Prop::Enabled: widget_->setEnabled(control_->Enabled()); break;
    case Prop::Caption: ApplyCaption(); break;
    case Prop::Value: ApplyValue(); break;
    case Prop::Range: ApplyRange(); break;
    case Prop::Font: widget_->setFont(ToQFont(control_->GetFont(), QApplication::font())); break;
    case Prop::Colors: ApplyColors(); break;
    case Prop::MousePointer: ApplyCursor(); break;
    case Prop::Style:
      if (auto* canvas = qobject_cast<QtCanvas*>(widget_.data())) {
        canvas->ApplyBorder();
        ApplyGeometry();
      }
      widget_->update();
      break;
    case Prop::Picture:
    case Prop::Image: widget_->update(); break;
    case Prop::ZOrder:
      if (Windowed()) widget_->raise();
      else StackWindowless();
      break;
    case Prop::Items: ApplyToolbar(); break;
    default: break;
  }
  syncing_ = false;
}

void QtPeer::SyncForm(Prop prop) {
  auto* window = static_cast<QtFormWindow*>(widget_.data());
  switch (prop) {
    case Prop::Geometry: window->ApplyGeometry(); break;
    case Prop::Visible: window->ApplyVisible(); break;
    case Prop::WindowState:
      if (window->isVisible()) window->ApplyWindowState();
      break;
    case Prop::ZOrder:
      window->raise();
      window->activateWindow();
      break;
    case Prop::Caption:
    case Prop::Picture:
    case Prop::Style: {
      const bool visible = window->isVisible();
      window->ApplyStyle();
      window->Client()->update();
      if (visible && !window->isVisible()) window->ApplyVisible();  // new flags hide the window
      break;
    }
    case Prop::Colors: ApplyColors(); break;
    case Prop::Font: window->setFont(ToQFont(control_->GetFont(), QApplication::font())); break;
    case Prop::MousePointer: ApplyCursor(); break;
    case Prop::Image: window->Client()->update(); break;
    default: break;
  }
}

void QtPeer::ApplyGeometry() {
  if (!container_) return;
  const double ppu = container_->PixelsPerUnit();
  const QPoint origin = container_->ChildOrigin();
  if (control_->Kind() == ControlKind::Line) {
    const auto* line = static_cast<Line*>(control_);
    const QPoint p1(Round(line->X1 * ppu), Round(line->Y1 * ppu)), p2(Round(line->X2 * ppu), Round(line->Y2 * ppu));
    const int pad = std::max(1, line->BorderWidth);
    const QRect box = QRect(p1, p2).normalized().adjusted(-pad, -pad, pad, pad);
    widget_->setGeometry(box.translated(origin));
    static_cast<QtCanvas*>(widget_.data())->SetLine(p1 - box.topLeft(), p2 - box.topLeft());
    return;
  }
  widget_->setGeometry(Round(control_->Left() * ppu) + origin.x(), Round(control_->Top() * ppu) + origin.y(),
                       std::max(0, Round(control_->Width() * ppu)), std::max(0, Round(control_->Height() * ppu)));
  ApplyFocusable();
  // A picture box's scale and border move its children.
  for (Control* child : control_->Children())
    if (auto* peer = static_cast<QtPeer*>(child->peer); peer && peer != this && child->Kind() != ControlKind::Menu)
      peer->Sync(Prop::Geometry);
}

void QtPeer::ApplyCaption() {
  const QString text = ToQString(control_->Caption());
  if (auto* label = qobject_cast<QLabel*>(widget_.data())) label->setText(WithoutMnemonic(control_->Caption()));
  else if (auto* button = qobject_cast<QAbstractButton*>(widget_.data())) button->setText(text);
  else if (auto* group = qobject_cast<QGroupBox*>(widget_.data())) group->setTitle(text);
  else if (auto* line = qobject_cast<QLineEdit*>(widget_.data())) {
    if (line->text() != text) line->setText(text);
  } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget_.data())) {
    if (edit->toPlainText() != text) edit->setPlainText(text);
  }
}

void QtPeer::ApplyValue() {
  if (control_->Kind() == ControlKind::OptionButton)
    static_cast<QRadioButton*>(widget_.data())->setChecked(static_cast<OptionButton*>(control_)->Value());
  else if (control_->Kind() == ControlKind::CheckBox) {
    auto* box = static_cast<QCheckBox*>(widget_.data());
    const int v = static_cast<CheckBox*>(control_)->Value();
    box->setTristate(v == 2);
    box->setCheckState(v == 1 ? Qt::Checked : v == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
  } else if (auto* bar = qobject_cast<QScrollBar*>(widget_.data())) {
    bar->setValue(static_cast<ScrollBar*>(control_)->Value());
  }
}

void QtPeer::ApplyRange() {
  auto* bar = qobject_cast<QScrollBar*>(widget_.data());
  if (!bar) return;
  auto* model = static_cast<ScrollBar*>(control_);
  bar->setRange(model->Min(), std::max(model->Min(), model->Max()));
  bar->setSingleStep(std::max<int>(1, model->SmallChange()));
  bar->setPageStep(std::max<int>(1, model->LargeChange()));
  bar->setValue(model->Value());
}

void QtPeer::ApplyColors() {
  QWidget* target = ChildParent();
  QPalette palette = target->palette();
  const QPalette base = QApplication::palette();
  const OLE_COLOR fore = control_->ForeColor(), back = control_->BackColor();
  // The model's defaults stand for the toolkit's own look.
  if (fore != vbWindowText) {
    palette.setColor(QPalette::WindowText, ToQColor(fore, base));
    palette.setColor(QPalette::Text, ToQColor(fore, base));
    palette.setColor(QPalette::ButtonText, ToQColor(fore, base));
  }
  const bool customBack = back != vbButtonFace;
  if (customBack) {
    palette.setColor(QPalette::Window, ToQColor(back, base));
    palette.setColor(QPalette::Base, ToQColor(back, base));
    palette.setColor(QPalette::Button, ToQColor(back, base));
  }
  target->setPalette(palette);
  if (control_->Kind() == ControlKind::Label)
    widget_->setAutoFillBackground(customBack && !static_cast<Label*>(control_)->Transparent);
}

void QtPeer::ApplyCursor() {
  const MousePointer pointer = control_->GetMousePointer();
  QWidget* target = ChildParent();
  if (pointer == MousePointer::Default)
    target->unsetCursor();
  else
    target->setCursor(ToCursorShape(pointer));
}

void QtPeer::ApplyToolbar() {
  auto* bar = qobject_cast<QToolBar*>(widget_.data());
  if (!bar) return;
  auto* toolbar = static_cast<Toolbar*>(control_);
  bar->clear();
  for (std::size_t i = 0; i < toolbar->Buttons.size(); ++i) {
    const ToolbarButton& button = toolbar->Buttons[i];
    if (button.Separator) {
      bar->addSeparator();
      continue;
    }
    QAction* action = bar->addAction(ToQString(button.Key));
    action->setToolTip(ToQString(button.ToolTipText));
    if (const ImageList* list = toolbar->ImageListRef) {
      auto it = list->ListImages.find(button.ImageKey);
      if (it != list->ListImages.end()) {
        const QImage image = ToQImage(it->second, list->UseMaskColor ? static_cast<long>(list->MaskColor) : -1);
        if (!image.isNull()) action->setIcon(QIcon(QPixmap::fromImage(image)));
      }
    }
    connect(action, &QAction::triggered, this, [this, i] {
      auto* model = static_cast<Toolbar*>(control_);
      if (!model || i >= model->Buttons.size() || !model->ButtonClick) return;
      const ToolbarButton clicked = model->Buttons[i];  // the handler may change the list
      DispatchScope scope;
      model->ButtonClick(clicked);
    });
  }
}

void QtPeer::ApplyMenu() {
  if (!action_) return;
  const std::string& caption = control_->Caption();
  // A separator is a line only; the style would draw its text beside it.
  const bool separator = caption == "-";
  action_->setSeparator(separator);
  action_->setText(separator ? QString() : ToQString(caption));
  action_->setVisible(control_->Visible());
  action_->setEnabled(control_->Enabled());
  auto* menu = static_cast<Menu*>(control_);
  action_->setCheckable(menu->Checked);
  action_->setChecked(menu->Checked);
}

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
