// The program's own artwork, drawn in the 16 VGA colours.
#pragma once
#include <cstdint>

#include "runtime/picture.h"

namespace infowindows {

inline constexpr int kBannerWidth = 586, kBannerHeight = 314;
// The icons' background (0xRRGGBB), silver; the drawing inside uses none of
// it, so where it shows the icon may be transparent.
inline constexpr std::uint32_t kIconBackground = 0xC0C0C0;

// The splash background: a blue gradient with a camera inside capture
// brackets on the left, leaving the right part for the title labels.
runtime::Picture SplashBanner();
// 32 x 32: the camera, the program's icon and the about window's picture.
runtime::Picture ProductIcon();
// 32 x 32: a question mark on a blue disc, the help window's icon.
runtime::Picture HelpIcon();

}  // namespace infowindows
