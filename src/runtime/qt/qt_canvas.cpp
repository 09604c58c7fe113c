#include "runtime/qt/qt_canvas.h"

#include <QPainter>

#include <cmath>

#include "runtime/qt/qt_convert.h"

namespace runtime::qt {

QtCanvas::QtCanvas(Control& control, QWidget* parent) : QFrame(parent), control_(&control) { ApplyBorder(); }

int QtCanvas::Inset() const { return frameWidth(); }

void QtCanvas::ApplyBorder() {
  const bool bordered = control_ && control_->Kind() == ControlKind::PictureBox &&
                        static_cast<PictureBox*>(control_)->BorderStyle != 0;
  // One pixel each side, the width the model's ScaleWidth assumes.
  setFrameStyle(bordered ? QFrame::Panel | QFrame::Sunken : QFrame::NoFrame);
  setLineWidth(bordered ? 1 : 0);
}

void QtCanvas::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (!control_) return;
  QPainter painter(this);
  switch (control_->Kind()) {
    case ControlKind::Shape: PaintShape(painter); break;
    case ControlKind::Line: PaintLine(painter); break;
    default: PaintPicture(painter); break;
  }
}

void QtCanvas::PaintPicture(QPainter& painter) {
  const QPoint origin = contentsRect().topLeft();
  painter.setClipRect(contentsRect());
  QImage image;
  switch (control_->Kind()) {
    case ControlKind::Form: image = ToQImage(static_cast<Form*>(control_)->BackPicture); break;
    case ControlKind::PictureBox: {
      auto* box = static_cast<PictureBox*>(control_);
      // What was drawn persists; it already holds the picture it started from.
      image = box->Surface() ? ToQImage(*box->Surface()) : ToQImage(box->GetPicture());
      break;
    }
    case ControlKind::Image: {
      auto* img = static_cast<ImageBox*>(control_);
      image = ToQImage(img->GetPicture());
      if (img->Stretch && !image.isNull()) {
        painter.drawImage(contentsRect(), image);
        return;
      }
      break;
    }
    default: break;
  }
  if (!image.isNull()) painter.drawImage(origin, image);
}

void QtCanvas::PaintShape(QPainter& painter) {
  auto* shape = static_cast<runtime::Shape*>(control_);
  if (shape->GetBorderStyle() == runtime::Shape::Border::Transparent) return;
  QPen pen(ToQColor(shape->BorderColor, palette()));
  pen.setWidth(std::max(1, shape->BorderWidth));
  pen.setStyle(shape->GetBorderStyle() == runtime::Shape::Border::Dot ? Qt::DotLine : Qt::SolidLine);
  pen.setJoinStyle(Qt::MiterJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  // The outline lies inside the shape's rectangle.
  const int half = pen.width() / 2, odd = pen.width() % 2;
  painter.drawRect(rect().adjusted(half, half, -half - odd, -half - odd));
}

void QtCanvas::PaintLine(QPainter& painter) {
  auto* line = static_cast<Line*>(control_);
  QPen pen(ToQColor(line->BorderColor, palette()));
  pen.setWidth(std::max(1, line->BorderWidth));
  pen.setCapStyle(Qt::FlatCap);
  painter.setPen(pen);
  painter.drawLine(p1_, p2_);
}

}  // namespace runtime::qt
