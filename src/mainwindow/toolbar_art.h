// The toolbar's 16 x 16 images, drawn on silver, the image list's mask
// colour, so their background shows through.
#pragma once
#include <map>
#include <string>

#include "runtime/picture.h"

namespace mainwindow {

// Keyed "Exit", "Save", "Print", "Clear", "Copy" and "Help".
std::map<std::string, runtime::Picture> ToolbarImages();

}  // namespace mainwindow
