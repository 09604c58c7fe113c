#include "runtime/qt/qt_printer.h"

#include <QPageLayout>
#include <QPrinterInfo>
#include <cups/cups.h>

#include "runtime/app.h"
#include "runtime/qt/qt_convert.h"

namespace runtime::qt {

std::unique_ptr<QtPrinterDevice> QtPrinterDevice::OpenDefault(std::string& why) {
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) {
    why = "no default printer (choose one with lpoptions -d)";
    return nullptr;
  }
  std::unique_ptr<QtPrinterDevice> device(new QtPrinterDevice);
  device->printer_.setPrinterName(info.printerName());
  if (!device->printer_.isValid()) {
    why = "the default printer " + FromQString(info.printerName()) + " cannot be used";
    return nullptr;
  }
  device->printer_.setDocName(ToQString(App().Title));
  device->printer_.setFullPage(false);
  return device;
}

bool QtPrinterDevice::SetLandscape(bool landscape) {
  if (painter_) return false;  // the page has begun
  return printer_.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

double QtPrinterDevice::PrintableWidth() const {
  return printer_.pageLayout().paintRect(QPageLayout::Point).width();
}

double QtPrinterDevice::PrintableHeight() const {
  return printer_.pageLayout().paintRect(QPageLayout::Point).height();
}

bool QtPrinterDevice::Draw(const Bitmap& bitmap, double x, double y, double width, double height) {
  const QImage image = ToQImage(bitmap);
  if (image.isNull()) return false;
  if (!painter_) {
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(&printer_)) {
      painter_.reset();
      return false;
    }
  }
  // The painter's origin is the printable area's top-left, in device pixels.
  const double scale = printer_.resolution() / 72.0;
  painter_->drawImage(QRectF(x * scale, y * scale, width * scale, height * scale), image);
  return true;
}

bool QtPrinterDevice::EndDoc(std::string& why) {
  if (!painter_) return true;  // nothing drawn: no page, no job
  const bool ended = painter_->end();
  painter_.reset();
  // QPrinter hands the document to CUPS when the painter ends but keeps the
  // answer to itself; CUPS keeps it for this thread.
  const ipp_status_t status = cupsLastError();
  if (!ended || printer_.printerState() == QPrinter::Error) {
    why = "the document could not be made";
    return false;
  }
  if (status > IPP_STATUS_OK_EVENTS_COMPLETE) {
    why = "the printer refused the job: " + std::string(cupsLastErrorString() ? cupsLastErrorString() : "");
    return false;
  }
  return true;
}

}  // namespace runtime::qt
