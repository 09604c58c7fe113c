#include "mainwindow/toolbar_art.h"

#include "infowindows/pixel_art.h"

namespace mainwindow {

std::map<std::string, runtime::Picture> ToolbarImages() {
  using infowindows::PictureFromArt;
  std::map<std::string, runtime::Picture> images;
  // An open door with a green arrow leaving through it.
  images["Exit"] = PictureFromArt({
      "................",
      ".kkkkkkkk.......",
      ".kmmmmmmk.......",
      ".kmoooomk.......",
      ".kmoooomk..e....",
      ".kmoooomk..ee...",
      ".kmoooomeeeeee..",
      ".kmooyomeeeeeee.",
      ".kmoooomeeeeee..",
      ".kmoooomk..ee...",
      ".kmoooomk..e....",
      ".kmoooomk.......",
      ".kmmmmmmk.......",
      ".kkkkkkkk.......",
      "................",
      "................",
  });
  // A floppy disk: label on top, shutter below.
  images["Save"] = PictureFromArt({
      "................",
      ".kkkkkkkkkkkkkk.",
      ".knwwwwwwwwwwnk.",
      ".knwwwwwwwwwwnk.",
      ".knwkkkkkkkkwnk.",
      ".knwwwwwwwwwwnk.",
      ".knwkkkkkkkkwnk.",
      ".knwwwwwwwwwwnk.",
      ".knnnnnnnnnnnnk.",
      ".knnnnnnnnnnnnk.",
      ".knnggggggggnnk.",
      ".knnggkkggggnnk.",
      ".knnggkkggggnnk.",
      ".knnggkkggggnnk.",
      ".kkkkkkkkkkkkkk.",
      "................",
  });
  // A printer with a sheet going in at the top and coming out below.
  images["Print"] = PictureFromArt({
      "................",
      "....kkkkkkkk....",
      "....kwwwwwwk....",
      "....kwkkkkwk....",
      "....kwwwwwwk....",
      "..kkkkkkkkkkkk..",
      ".kggggggggggggk.",
      ".kgggggggggglgk.",
      ".kggggggggggggk.",
      ".kkkkkkkkkkkkkk.",
      ".kgkwwwwwwwwkgk.",
      ".kkkwkkkkkkwkkk.",
      "...kwwwwwwwwk...",
      "...kwkkkkkkwk...",
      "...kwwwwwwwwk...",
      "...kkkkkkkkkk...",
  });
  // A blank page with a folded corner.
  images["Clear"] = PictureFromArt({
      "................",
      "..kkkkkkkkk.....",
      "..kwwwwwwwkk....",
      "..kwwwwwwwkwk...",
      "..kwwwwwwwkwwk..",
      "..kwwwwwwwkkkkk.",
      "..kwwwwwwwwwwwk.",
      "..kwwwwwwwwwwwk.",
      "..kwwwwwwwwwwwk.",
      "..kwwwwwwwwwwwk.",
      "..kwwwwwwwwwwwk.",
      "..kwwwwwwwwwwwk.",
      "..kwwwwwwwwwwwk.",
      "..kwwwwwwwwwwwk.",
      "..kkkkkkkkkkkkk.",
      "................",
  });
  // Two written sheets, the copy in front.
  images["Copy"] = PictureFromArt({
      "................",
      ".kkkkkkkk.......",
      ".kwwwwwwk.......",
      ".kwkkkkwk.......",
      ".kwwwwwwk.......",
      ".kwkkkkkkkkkkkk.",
      ".kwwwwkwwwwwwwk.",
      ".kwkkkkwkkkkkwk.",
      ".kwwwwkwwwwwwwk.",
      ".kwkkkkwkkkkkwk.",
      ".kkkkkkwwwwwwwk.",
      "......kwkkkkkwk.",
      "......kwwwwwwwk.",
      "......kwwwwwwwk.",
      "......kkkkkkkkk.",
      "................",
  });
  // A question mark.
  images["Help"] = PictureFromArt({
      "................",
      ".....nnnnnn.....",
      "....nnbbbbnn....",
      "...nnb....bnn...",
      "...nn......nn...",
      "...........nn...",
      "..........nn....",
      ".........nn.....",
      "........nn......",
      ".......nn.......",
      ".......nn.......",
      "................",
      ".......nn.......",
      ".......nn.......",
      "................",
      "................",
  });
  return images;
}

}  // namespace mainwindow
