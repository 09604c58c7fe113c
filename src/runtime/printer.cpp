#include "runtime/printer.h"

#include <utility>

#include "runtime/error.h"
#include "runtime/gui.h"

namespace runtime {
namespace {

// Units per inch of each scale unit; characters are 120 twips wide and 240
// twips high.
double PerInch(int unit, bool vertical, double resolution) {
  switch (unit) {
    case vbTwips: return 1440;
    case vbPoints: return 72;
    case vbPixels: return resolution;
    case vbCharacters: return vertical ? 6 : 12;
    case vbInches: return 1;
    case vbMillimeters: return 25.4;
    case vbCentimeters: return 2.54;
    case vbHimetric: return 2540;
    default: Raise(kErrInvalidPropertyValue, "Invalid property value");
  }
}

}  // namespace

void PrinterObject::SetOrientation(int orientation) {
  if (orientation != vbPRORPortrait && orientation != vbPRORLandscape)
    Raise(kErrInvalidPropertyValue, "Invalid property value");
  if (!device_->SetLandscape(orientation == vbPRORLandscape)) Raise(kErrPrinter, "Printer error");
  orientation_ = orientation;
}

float PrinterObject::ScaleWidth() const { return Convert(device_->PrintableWidth(), vbPoints, vbTwips, false); }
float PrinterObject::ScaleHeight() const { return Convert(device_->PrintableHeight(), vbPoints, vbTwips, true); }

float PrinterObject::ScaleX(double value, int fromUnit, int toUnit) const {
  return Convert(value, fromUnit, toUnit, false);
}
float PrinterObject::ScaleY(double value, int fromUnit, int toUnit) const {
  return Convert(value, fromUnit, toUnit, true);
}

float PrinterObject::Convert(double value, int fromUnit, int toUnit, bool vertical) const {
  if (fromUnit == vbUser) fromUnit = ScaleMode();
  if (toUnit == vbUser) toUnit = ScaleMode();
  const double resolution = device_->Resolution();
  return static_cast<float>(value / PerInch(fromUnit, vertical, resolution) * PerInch(toUnit, vertical, resolution));
}

void PrinterObject::PaintPicture(const Picture& picture, double x, double y, double width, double height) {
  const Bitmap* bitmap = BitmapOf(picture.Handle());
  if (!bitmap || !bitmap->bits) Raise(kErrInvalidPicture, "Invalid picture");
  const auto points = [&](double v, bool vertical) { return Convert(v, ScaleMode(), vbPoints, vertical); };
  if (!device_->Draw(*bitmap, points(x, false), points(y, true), points(width, false), points(height, true)))
    Raise(kErrPrinter, "Printer error");
  drawn_ = true;
}

void PrinterObject::EndDoc() {
  std::string why;
  const bool ok = device_->EndDoc(why);
  const bool drawn = std::exchange(drawn_, false);
  if (!ok) Raise(kErrPrinter, why.empty() ? "Printer error" : why);
  printed_ = printed_ || drawn;
}

std::unique_ptr<PrinterObject> DefaultPrinter() {
  GuiBackend* gui = Gui();
  if (!gui) Raise(kErrPrinter, "no printing service: the GUI module could not start");
  std::string why;
  std::unique_ptr<PrinterDevice> device = gui->OpenDefaultPrinter(why);
  if (!device) Raise(kErrPrinter, why.empty() ? "no default printer" : why);
  return std::make_unique<PrinterObject>(std::move(device));
}

}  // namespace runtime
