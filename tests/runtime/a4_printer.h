// A printer device in memory: A4 with 1 cm margins, described in points,
// for the tests of the printer object and of print-to-fit (real pages are
// checked in tests/output/x11).
#pragma once
#include <string>

#include "runtime/printer.h"

namespace testprinter {

// 19.0 x 27.7 cm printable in portrait.
struct A4Device : runtime::PrinterDevice {
  static constexpr double kShort = 190 / 25.4 * 72, kLong = 277 / 25.4 * 72;
  bool landscape = false, refuseOrientation = false;
  int drawn = 0;
  bool SetLandscape(bool on) override { return !refuseOrientation && ((landscape = on), true); }
  double PrintableWidth() const override { return landscape ? kLong : kShort; }
  double PrintableHeight() const override { return landscape ? kShort : kLong; }
  double Resolution() const override { return 600; }
  bool Draw(const runtime::Bitmap&, double, double, double, double) override { return ++drawn; }
  bool EndDoc(std::string&) override { return true; }
};

}  // namespace testprinter
