// The peer's state sync: the model's properties written to the widget.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QToolBar>

#include <cmath>

#include "runtime/qt/qt_canvas.h"
#include "runtime/qt/qt_convert.h"
#include "runtime/qt/qt_dispatch.h"
#include "runtime/qt/qt_form_window.h"
#include "runtime/qt/qt_peer.h"

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

}  // namespace

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

}  // namespace runtime::qt
