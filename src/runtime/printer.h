// The printer object: one document on the default printer, measured in a
// scale unit (twips unless changed) from the printable area's top-left.
#pragma once
#include <memory>
#include <string>

#include "runtime/gdi.h"
#include "runtime/picture.h"

namespace runtime {

// Scale units: user (the current ScaleMode), twips, points, pixels,
// characters, inches, millimetres, centimetres, HIMETRIC.
enum ScaleUnit {
  vbUser = 0, vbTwips = 1, vbPoints = 2, vbPixels = 3, vbCharacters = 4,
  vbInches = 5, vbMillimeters = 6, vbCentimeters = 7, vbHimetric = 8
};
inline constexpr int vbPRORPortrait = 1, vbPRORLandscape = 2;

// What a backend provides for one printer. Lengths are points (1/72 inch)
// from the printable area's top-left.
class PrinterDevice {
 public:
  virtual ~PrinterDevice() = default;
  // False when the printer refuses the orientation.
  virtual bool SetLandscape(bool landscape) = 0;
  // Printable area in the current orientation, in points.
  virtual double PrintableWidth() const = 0;
  virtual double PrintableHeight() const = 0;
  // Device pixels per inch.
  virtual double Resolution() const = 0;
  // Stretches the bitmap to exactly width x height; false when it cannot.
  virtual bool Draw(const Bitmap& bitmap, double x, double y, double width, double height) = 0;
  // Ends the document. A document with nothing drawn is dropped and gives
  // true; otherwise true only when the printer took the job. why gets the
  // reason of a refusal.
  virtual bool EndDoc(std::string& why) = 0;
};

class PrinterObject {
 public:
  explicit PrinterObject(std::unique_ptr<PrinterDevice> device) : device_(std::move(device)) {}

  int Orientation() const { return orientation_; }
  // 1 portrait, 2 landscape; raises 380 for other values and 482 when the
  // printer refuses.
  void SetOrientation(int orientation);
  int ScaleMode() const { return vbTwips; }
  float ScaleWidth() const;
  float ScaleHeight() const;
  // Converts a horizontal (ScaleX) or vertical (ScaleY) length between units.
  float ScaleX(double value, int fromUnit, int toUnit) const;
  float ScaleY(double value, int fromUnit, int toUnit) const;
  // Draws the picture stretched into the rectangle, in the scale unit.
  // Raises 481 for a picture without a bitmap, 482 when drawing fails.
  void PaintPicture(const Picture& picture, double x, double y, double width, double height);
  // Sends what was drawn to the printer; raises 482 when the printer does
  // not take it. Nothing drawn: nothing is sent, and nothing raised.
  void EndDoc();
  // Whether EndDoc handed a page to the printer.
  bool Printed() const { return printed_; }

 private:
  float Convert(double value, int fromUnit, int toUnit, bool vertical) const;
  std::unique_ptr<PrinterDevice> device_;
  int orientation_ = vbPRORPortrait;
  bool drawn_ = false, printed_ = false;
};

// The default printer; raises 482 with the reason when there is none or
// no printing service can be reached.
std::unique_ptr<PrinterObject> DefaultPrinter();

}  // namespace runtime
