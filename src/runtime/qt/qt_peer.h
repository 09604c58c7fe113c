// The peer of one control: its Qt widget (or menu action), kept in step
// with the model, and the bridge that turns the widget's input into the
// control's events.
#pragma once
#include <QAction>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include "runtime/forms.h"

namespace runtime::qt {

class QtFormWindow;

class QtPeer : public QObject {
  Q_OBJECT
 public:
  // The peer of a form, over its window.
  QtPeer(Form& form, QtFormWindow* window);
  // The peer of a control inside container (whose peer already exists).
  QtPeer(Control& control, QtPeer& container);
  // The peer of a menu title or item, over its action.
  QtPeer(Menu& menu, QAction* action, QObject* owner);

  Control* Model() const { return control_; }
  QWidget* Widget() const { return widget_; }
  QAction* Action() const { return action_; }
  // Where the children's widgets go, and their offset inside it.
  QWidget* ChildParent() const;
  QPoint ChildOrigin() const;
  // Pixels per unit of this control's own scale (for its children and its
  // mouse coordinates): 1 in pixel scale, 1/15 in twips.
  double PixelsPerUnit() const;
  // True when the control is a native window of its own.
  bool Windowed() const;
  // How the widget takes the focus when it can be seen.
  Qt::FocusPolicy DesignFocus() const { return designFocus_; }
  // Takes the focus away from a control its containers hide entirely (the
  // main window's working-storage text boxes lie beyond its client area)
  // and gives it back once some of it shows.
  void ApplyFocusable();

  void SyncAll();
  void Sync(Prop prop);
  // The control is going away: forget it and stop sending events.
  void Detach();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Build(QWidget* parent);
  void StackWindowless();
  void Watch(QObject* object);
  void SyncForm(Prop prop);
  void ApplyGeometry();
  void ApplyCaption();
  void ApplyValue();
  void ApplyRange();
  void ApplyColors();
  void ApplyCursor();
  void ApplyToolbar();
  void ApplyMenu();
  bool Mouse(QWidget* source, QEvent* event);
  bool Key(QWidget* source, QEvent* event);
  void ConnectSignals();

  Control* control_;
  QtPeer* container_ = nullptr;
  QPointer<QWidget> widget_;
  QPointer<QAction> action_;
  Qt::FocusPolicy designFocus_ = Qt::NoFocus;
  bool syncing_ = false;     // echo guard while the model writes the peer
  bool afterDouble_ = false;  // the release after a double click is no click
};

}  // namespace runtime::qt
