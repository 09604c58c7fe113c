#include "infowindows/artwork.h"

#include "infowindows/pixel_art.h"

namespace infowindows {
namespace {

// Ordered dithering mixes two palette colours into a smooth-looking ramp
// without leaving the 16 colours.
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

void DitheredRamp(Canvas& c, std::uint32_t top, std::uint32_t bottom) {
  for (int y = 0; y < c.Height(); ++y) {
    const int level = y * 17 / c.Height();  // 0..16: share of the bottom colour
    for (int x = 0; x < c.Width(); ++x) c.Set(x, y, kBayer[y & 3][x & 3] < level ? bottom : top);
  }
}

// Red corner brackets, the "this area is captured" mark.
void Brackets(Canvas& c, int x0, int y0, int x1, int y1, int arm, int thick) {
  const std::uint32_t red = vga::Red;
  c.FillRect(x0, y0, x0 + arm, y0 + thick, red);
  c.FillRect(x0, y0, x0 + thick, y0 + arm, red);
  c.FillRect(x1 - arm, y0, x1, y0 + thick, red);
  c.FillRect(x1 - thick, y0, x1, y0 + arm, red);
  c.FillRect(x0, y1 - thick, x0 + arm, y1, red);
  c.FillRect(x0, y1 - arm, x0 + thick, y1, red);
  c.FillRect(x1 - arm, y1 - thick, x1, y1, red);
  c.FillRect(x1 - thick, y1 - arm, x1, y1, red);
}

void Outlined(Canvas& c, int x0, int y0, int x1, int y1, std::uint32_t fill, int border) {
  c.FillRect(x0, y0, x1, y1, vga::Black);
  c.FillRect(x0 + border, y0 + border, x1 - border, y1 - border, fill);
}

}  // namespace

runtime::Picture SplashBanner() {
  Canvas c(kBannerWidth, kBannerHeight, vga::Navy);
  DitheredRamp(c, vga::Blue, vga::Navy);
  c.FillRect(0, kBannerHeight - 12, kBannerWidth, kBannerHeight - 8, vga::Teal);
  c.FillRect(0, kBannerHeight - 8, kBannerWidth, kBannerHeight - 6, vga::Aqua);

  Brackets(c, 35, 45, 295, 292, 34, 5);
  Outlined(c, 95, 78, 155, 108, vga::Grey, 3);     // viewfinder
  Outlined(c, 218, 88, 252, 108, vga::Red, 3);     // shutter button
  Outlined(c, 60, 103, 270, 258, vga::Grey, 4);    // body
  c.FillRect(64, 107, 266, 126, vga::Silver);      // top plate
  Outlined(c, 222, 132, 256, 152, vga::White, 2);  // flash
  const double lx = 160, ly = 185;                 // lens
  c.FillDisc(lx, ly, 64, vga::Black);
  c.FillDisc(lx, ly, 58, vga::Silver);
  c.FillDisc(lx, ly, 51, vga::Black);
  c.FillDisc(lx, ly, 43, vga::Navy);
  c.FillDisc(lx, ly, 31, vga::Blue);
  c.FillDisc(lx, ly, 14, vga::Black);
  c.FillDisc(lx - 17, ly - 17, 8, vga::White);
  c.FillDisc(lx + 16, ly + 16, 4, vga::Aqua);
  return c.ToPicture();
}

runtime::Picture ProductIcon() {
  Canvas c(32, 32, kIconBackground);
  Brackets(c, 0, 0, 32, 32, 7, 2);
  Outlined(c, 8, 6, 15, 10, vga::Grey, 1);    // viewfinder
  Outlined(c, 21, 7, 26, 10, vga::Red, 1);    // shutter button
  Outlined(c, 4, 9, 28, 26, vga::Grey, 1);    // body
  c.FillRect(5, 10, 27, 12, vga::White);      // top plate
  c.FillDisc(16, 18, 7.5, vga::Black);
  c.FillDisc(16, 18, 6, vga::Navy);
  c.FillDisc(16, 18, 4, vga::Blue);
  c.FillDisc(14, 16, 1.5, vga::White);
  return c.ToPicture();
}

runtime::Picture HelpIcon() {
  Canvas c(32, 32, kIconBackground);
  c.FillDisc(16, 16, 15.5, vga::Navy);
  c.FillDisc(16, 16, 13.5, vga::Blue);
  c.DrawArt({" wwwwww ",
             "ww    ww",
             "ww    ww",
             "     ww ",
             "    ww  ",
             "   ww   ",
             "   ww   ",
             "        ",
             "   ww   ",
             "   ww   "},
            8, 6, 2);
  return c.ToPicture();
}

}  // namespace infowindows
