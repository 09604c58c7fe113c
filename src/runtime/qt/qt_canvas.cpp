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
      const Bitmap* surface = box->Surface();
      if (surface && surface->bits && surface->bitsPixel == 32 && !surface->bottomUp) {
        // Shown in place: a screen-sized surface repaints often under a
        // moving outline, and a copy per paint would cost more than the paint.
        const QImage view(surface->bits, surface->width, surface->height, surface->stride, QImage::Format_RGB32);
        painter.drawImage(origin, view);
        return;
      }
      image = surface ? ToQImage(*surface) : ToQImage(box->GetPicture());
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
  if (shape->DrawMode == runtime::Shape::kXorPen) {
    pen.setColor(QColor::fromRgb(ToQColor(shape->BorderColor, palette()).rgb()));
    painter.setPen(pen);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  }
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
