// Pictures drawn in code: the program's icons, toolbar images and banner.
// Every colour used is one of the 16 standard VGA colours, so the artwork
// looks the same on a 16-colour display as on a true-colour one.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/picture.h"

namespace infowindows {

// Colours as 0xRRGGBB.
namespace vga {
inline constexpr std::uint32_t Black = 0x000000, Maroon = 0x800000, Green = 0x008000,
                               Olive = 0x808000, Navy = 0x000080, Purple = 0x800080,
                               Teal = 0x008080, Silver = 0xC0C0C0, Grey = 0x808080,
                               Red = 0xFF0000, Lime = 0x00FF00, Yellow = 0xFFFF00,
                               Blue = 0x0000FF, Fuchsia = 0xFF00FF, Aqua = 0x00FFFF,
                               White = 0xFFFFFF;
inline constexpr std::uint32_t Palette[16] = {Black, Maroon, Green, Olive, Navy, Purple,
                                              Teal,  Silver, Grey,  Red,   Lime, Yellow,
                                              Blue,  Fuchsia, Aqua, White};
bool IsVga(std::uint32_t rgb);
}  // namespace vga

// A picture being drawn, one 0xRRGGBB value per pixel. Drawing outside the
// canvas is clipped.
class Canvas {
 public:
  Canvas(int width, int height, std::uint32_t fill);
  int Width() const { return width_; }
  int Height() const { return height_; }
  std::uint32_t Get(int x, int y) const;
  void Set(int x, int y, std::uint32_t rgb);
  // [x0, x1) x [y0, y1).
  void FillRect(int x0, int y0, int x1, int y1, std::uint32_t rgb);
  void FrameRect(int x0, int y0, int x1, int y1, std::uint32_t rgb);
  void FillDisc(double cx, double cy, double radius, std::uint32_t rgb);
  // Character art, one string per row (see ArtColour), each character drawn
  // as a scale x scale block; a blank leaves the canvas as it is. Throws
  // std::invalid_argument for an unknown character.
  void DrawArt(const std::vector<std::string_view>& rows, int x, int y, int scale = 1);
  // A device bitmap wrapped in a picture that owns it.
  runtime::Picture ToPicture() const;

 private:
  int width_, height_;
  std::vector<std::uint32_t> pixels_;
};

// The colour of an art character: '.' silver, 'k' black, 'w' white, 'g' grey,
// 'n' navy, 'b' blue, 'r' red, 'm' maroon, 'y' yellow, 'o' olive, 'e' green,
// 'l' lime, 't' teal, 'a' aqua, 'p' purple, 'f' fuchsia.
std::uint32_t ArtColour(char c);

// A picture straight from character art; every row must be as long as the
// first (std::invalid_argument otherwise).
runtime::Picture PictureFromArt(const std::vector<std::string_view>& rows);

}  // namespace infowindows
