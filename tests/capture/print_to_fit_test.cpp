// Print-to-fit arithmetic through the real printer object, on a page
// described in points by a small in-process device.
#include <gtest/gtest.h>

#include "capture/capture_bitmap.h"
#include "output/dib_test_pictures.h"
#include "runtime/error.h"
#include "runtime/printer.h"

using namespace runtime;

namespace {

// A4 with 1 cm margins: 19.0 x 27.7 cm printable in portrait.
class A4Device : public PrinterDevice {
 public:
  struct Drawn {
    double x, y, width, height;
  };
  bool landscape = false, refuseOrientation = false;
  std::vector<Drawn> drawn;

  bool SetLandscape(bool on) override {
    if (refuseOrientation) return false;
    landscape = on;
    return true;
  }
  double PrintableWidth() const override { return landscape ? kLong : kShort; }
  double PrintableHeight() const override { return landscape ? kShort : kLong; }
  double Resolution() const override { return 600; }
  bool Draw(const Bitmap&, double x, double y, double width, double height) override {
    drawn.push_back({x, y, width, height});
    return true;
  }
  bool EndDoc(std::string&) override { return true; }
  static constexpr double kShort = 190 / 25.4 * 72, kLong = 277 / 25.4 * 72;
};

double Cm(double points) { return points / 72 * 2.54; }

}  // namespace

TEST(PrintPictureToFit, OrientationFromShapeAndFitToTheTopLeftOfThePrintableArea) {
  struct Case {
    int width, height;
    bool landscape;
    double widthCm, heightCm;
  } const cases[] = {
      {640, 480, true, 25.33, 19.0},    // 1.33 against the area's 1.46: the height fills
      {100, 400, false, 6.925, 27.7},   // 0.25 against 0.69: the height fills
      {300, 300, false, 19.0, 19.0},    // square: portrait, the width fills
      {1920, 1080, true, 27.7, 15.58},  // 1.78 against 1.46: the width fills
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    auto owned = std::make_unique<A4Device>();
    A4Device& device = *owned;
    PrinterObject printer(std::move(owned));
    capture::PrintPictureToFit(printer, testpictures::MakePicture(c.width, c.height));
    EXPECT_EQ(device.landscape, c.landscape);
    EXPECT_EQ(printer.Orientation(), c.landscape ? vbPRORLandscape : vbPRORPortrait);
    ASSERT_EQ(device.drawn.size(), 1u);
    const A4Device::Drawn& d = device.drawn[0];
    EXPECT_EQ(std::make_pair(d.x, d.y), std::make_pair(0.0, 0.0));
    EXPECT_NEAR(Cm(d.width), c.widthCm, 0.01);
    EXPECT_NEAR(Cm(d.height), c.heightCm, 0.01);
    EXPECT_LE(d.width, device.PrintableWidth() + 1e-3);
    EXPECT_LE(d.height, device.PrintableHeight() + 1e-3);
  }
}

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
  const Picture none = OleCreatePictureIndirect(PICTDESC{}, true);  // a capture that gave no bitmap
  EXPECT_EQ(number(none), kErrOverflow);                              // 0 / 0
  device.refuseOrientation = true;
  EXPECT_EQ(number(testpictures::MakePicture(20, 10)), kErrPrinter);
  EXPECT_TRUE(device.drawn.empty());
  printer.EndDoc();  // harmless with nothing drawn
  EXPECT_FALSE(printer.Printed());
}

TEST(PrinterObject, ScaleConversionsBetweenUnitsAndPictureSizesInHimetric) {
  PrinterObject printer(std::make_unique<A4Device>());
  EXPECT_EQ(printer.ScaleMode(), vbTwips);
  EXPECT_FLOAT_EQ(printer.ScaleWidth(), static_cast<float>(A4Device::kShort * 20));
  EXPECT_FLOAT_EQ(printer.ScaleX(1440, vbTwips, vbHimetric), 2540.0f);
  EXPECT_FLOAT_EQ(printer.ScaleY(2540, vbHimetric, vbPixels), 600.0f);
  EXPECT_FLOAT_EQ(printer.ScaleX(1, vbCentimeters, vbMillimeters), 10.0f);
  EXPECT_FLOAT_EQ(printer.ScaleX(240, vbTwips, vbCharacters), 2.0f);
  EXPECT_FLOAT_EQ(printer.ScaleY(240, vbTwips, vbCharacters), 1.0f);
  EXPECT_EQ(printer.ScaleX(1, vbUser, vbTwips), 1.0f);
  EXPECT_THROW(printer.SetOrientation(3), RuntimeError);
  const Picture picture = testpictures::MakePicture(640, 480);
  EXPECT_EQ(std::make_pair(picture.Width(), picture.Height()), std::make_pair(16933, 12700));
}
