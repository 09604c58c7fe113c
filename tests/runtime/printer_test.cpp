// The printer object's units, on a page held by a small in-process device.
#include <gtest/gtest.h>

#include <tuple>

#include "runtime/a4_printer.h"
#include "runtime/error.h"
#include "runtime/gdi.h"
#include "runtime/picture.h"

using namespace runtime;

// The units print-to-fit converts between: the page in twips, pictures in HIMETRIC.
TEST(PrinterObject, ScaleConversionsBetweenUnitsAndPictureSizesInHimetric) {
  PrinterObject printer(std::make_unique<testprinter::A4Device>());
  EXPECT_FLOAT_EQ(printer.ScaleWidth(), static_cast<float>(testprinter::A4Device::kShort * 20));
  EXPECT_FLOAT_EQ(printer.ScaleX(1440, vbTwips, vbHimetric), 2540.0f);
  EXPECT_FLOAT_EQ(printer.ScaleY(2540, vbHimetric, vbPixels), 600.0f);
  EXPECT_THROW(printer.SetOrientation(3), RuntimeError);
  PICTDESC desc;
  desc.hbitmap = CreateCompatibleBitmap(0, 640, 480);
  const Picture picture = OleCreatePictureIndirect(desc, true);
  EXPECT_EQ(std::make_tuple(picture.Width(), picture.Height()), std::make_tuple(16933, 12700));
}
