#include "output/print_to_fit.h"

#include <cstdint>

#include "runtime/error.h"

namespace output {

using namespace runtime;

void PrintPictureToFit(PrinterObject& prn, const Picture& pic) {
  const std::int32_t Hp = pic.Height();
  const std::int32_t Wp = pic.Width();
  prn.SetOrientation(Hp >= Wp ? vbPRORPortrait : vbPRORLandscape);
  if (Hp == 0) Raise(Wp == 0 ? kErrOverflow : kErrDivisionByZero, Wp == 0 ? "Overflow" : "Division by zero");
  const double R = static_cast<double>(Wp) / Hp;
  const double PW = prn.ScaleX(prn.ScaleWidth(), prn.ScaleMode(), vbHimetric);
  const double PH = prn.ScaleY(prn.ScaleHeight(), prn.ScaleMode(), vbHimetric);
  const double PR = PW / PH;
  double W, H;
  if (R >= PR) {
    W = PW;
    H = PW / R;
  } else {
    H = PH;
    W = PH * R;
  }
  const double Wd = prn.ScaleX(W, vbHimetric, prn.ScaleMode());
  const double Hd = prn.ScaleY(H, vbHimetric, prn.ScaleMode());
  prn.PaintPicture(pic, 0, 0, Wd, Hd);
}

}  // namespace output
