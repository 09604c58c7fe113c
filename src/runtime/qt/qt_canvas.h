// The widget that paints what the model holds as pixels or strokes: a
// form's client area with its back picture, a picture box (its drawing
// surface or its picture), an image control, a shape and a line.
#pragma once
#include <QFrame>

#include "runtime/forms.h"

namespace runtime::qt {

class QtCanvas : public QFrame {
  Q_OBJECT
 public:
  QtCanvas(Control& control, QWidget* parent);
  // The control is going away; paint only the background from now on.
  void Detach() { control_ = nullptr; }
  // Offset of the client area inside the widget (the border width).
  int Inset() const;
  void ApplyBorder();
  // A line's ends, relative to the widget.
  void SetLine(QPoint p1, QPoint p2) { p1_ = p1; p2_ = p2; update(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void PaintPicture(QPainter& painter);
  void PaintShape(QPainter& painter);
  void PaintLine(QPainter& painter);
  Control* control_;
  QPoint p1_, p2_;
};

}  // namespace runtime::qt
