// The default CUPS destination through QPrinter: the page layout comes
// from the destination, and the job is handed to it when the document ends.
#pragma once
#include <QPainter>
#include <QPrinter>
#include <memory>
#include <string>

#include "runtime/printer.h"

namespace runtime::qt {

class QtPrinterDevice : public PrinterDevice {
 public:
  // The default destination, or nullptr with the reason in why.
  static std::unique_ptr<QtPrinterDevice> OpenDefault(std::string& why);

  bool SetLandscape(bool landscape) override;
  double PrintableWidth() const override;
  double PrintableHeight() const override;
  double Resolution() const override { return printer_.resolution(); }
  bool Draw(const Bitmap& bitmap, double x, double y, double width, double height) override;
  bool EndDoc(std::string& why) override;

 private:
  QtPrinterDevice() : printer_(QPrinter::HighResolution) {}
  QPrinter printer_;
  std::unique_ptr<QPainter> painter_;
};

}  // namespace runtime::qt
