// Print-to-fit failures and the printer object's units, on a page described
// in points by a small in-process device (the fitted geometry is checked on
// real pages in tests/output/x11).
#include <gtest/gtest.h>

#include "capture/capture_bitmap.h"
#include "output/dib_test_pictures.h"
#include "runtime/error.h"
#include "runtime/printer.h"

using namespace runtime;

namespace {

// A4 with 1 cm margins: 19.0 x 27.7 cm printable in portrait.
struct A4Device : PrinterDevice {
  static constexpr double kShort = 190 / 25.4 * 72, kLong = 277 / 25.4 * 72;
  bool landscape = false, refuseOrientation = false;
  int drawn = 0;
  bool SetLandscape(bool on) override { return !refuseOrientation && ((landscape = on), true); }
  double PrintableWidth() const override { return landscape ? kLong : kShort; }
  double PrintableHeight() const override { return landscape ? kShort : kLong; }
  double Resolution() const override { return 600; }
  bool Draw(const Bitmap&, double, double, double, double) override { return ++drawn; }
  bool EndDoc(std::string&) override { return true; }
};

}  // namespace

TEST(PrintPictureToFit, FailuresEndItAtTheStepThatFailedAndNothingIsPrinted) {
  auto owned = std::make_unique<A4Device>();
  A4Device& device = *owned;
  PrinterObject printer(std::move(owned));
  const auto number = [&](const Picture& picture) {
    try {
      capture::PrintPictureToFit(printer, picture);
    } catch (const RuntimeError& e) {
      return e.Number;
    }
    return 0;
  };
  EXPECT_EQ(number(Picture()), kErrObjectNotSet);  // after Clear: no picture at all
  EXPECT_FALSE(device.landscape);
  EXPECT_EQ(number(OleCreatePictureIndirect(PICTDESC{}, true)), kErrOverflow);  // no bitmap: 0 / 0
  device.refuseOrientation = true;
  EXPECT_EQ(number(testpictures::MakePicture(20, 10)), kErrPrinter);
  EXPECT_EQ(device.drawn, 0);
  printer.EndDoc();  // harmless with nothing drawn
  EXPECT_FALSE(printer.Printed());
}

// The units print-to-fit converts between: the page in twips, pictures in HIMETRIC.
TEST(PrinterObject, ScaleConversionsBetweenUnitsAndPictureSizesInHimetric) {
  PrinterObject printer(std::make_unique<A4Device>());
  EXPECT_FLOAT_EQ(printer.ScaleWidth(), static_cast<float>(A4Device::kShort * 20));
  EXPECT_FLOAT_EQ(printer.ScaleX(1440, vbTwips, vbHimetric), 2540.0f);
  EXPECT_FLOAT_EQ(printer.ScaleY(2540, vbHimetric, vbPixels), 600.0f);
  EXPECT_THROW(printer.SetOrientation(3), RuntimeError);
  const Picture picture = testpictures::MakePicture(640, 480);
  EXPECT_EQ(std::make_tuple(picture.Width(), picture.Height()), std::make_tuple(16933, 12700));
}
