// Print-to-fit failures, on a page held by a small in-process device (the
// fitted geometry is checked on real pages in tests/output/x11).
#include <gtest/gtest.h>

#include "output/dib_test_pictures.h"
#include "output/print_to_fit.h"
#include "runtime/a4_printer.h"
#include "runtime/error.h"

using namespace runtime;

TEST(PrintPictureToFit, FailuresEndItAtTheStepThatFailedAndNothingIsPrinted) {
  auto owned = std::make_unique<testprinter::A4Device>();
  testprinter::A4Device& device = *owned;
  PrinterObject printer(std::move(owned));
  const auto number = [&](const Picture& picture) {
    try {
      output::PrintPictureToFit(printer, picture);
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
