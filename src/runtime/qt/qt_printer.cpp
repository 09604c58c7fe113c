#include "runtime/qt/qt_printer.h"

#include <QPageLayout>
#include <QPrinterInfo>
#include <cups/cups.h>

#include "runtime/app.h"
#include "runtime/qt/qt_convert.h"

namespace runtime::qt {
namespace {

// The toolkit asks the print service with waits of a minute each, which
// nothing can shorten: a service that accepts but never answers held a
// batch run for two minutes. One request of our own, bounded, tells first
// whether it answers at all.
constexpr int kServiceWaitMs = 3000;

int GiveUp(http_t*, void*) { return 0; }

bool PrintServiceAnswers(std::string& why) {
  const char* server = cupsServer();
  const std::string where = server && *server ? server : "localhost";
  http_t* http =
      httpConnect2(server, ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kServiceWaitMs, nullptr);
  if (!http) {
    why = "the print service at " + where + " is not running";
    return false;
  }
  httpSetTimeout(http, kServiceWaitMs / 1000.0, GiveUp, nullptr);
  ipp_t* answer = cupsDoRequest(http, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/");
  httpClose(http);
  if (!answer) {
    why = "the print service at " + where + " does not answer";
    return false;
  }
  ippDelete(answer);
  return true;
}

}  // namespace

std::unique_ptr<QtPrinterDevice> QtPrinterDevice::OpenDefault(std::string& why) {
  if (!PrintServiceAnswers(why)) return nullptr;
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
