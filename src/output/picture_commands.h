// The commands that act on the main window's picture: Save, Print and Copy
// (Clear only empties the view, so it stays with the window).
#pragma once
#include <string>

#include "runtime/forms.h"
#include "runtime/picture.h"

namespace output {

// The file-format rule of every save: true when the last four characters
// are exactly ".jpg" (a shorter name is compared whole).
bool IsJpegName(const std::string& sFile);

// Writes the picture to sFile by that rule: a quality-80 JPEG or a BMP.
// Errors pass to the caller and end it at the step that failed.
void SavePictureFile(const runtime::Picture& picture, const std::string& sFile);

// Asks for a name in dialog and writes the picture there: a quality-80
// JPEG for ".jpg" names, a BMP for all others. Each step that fails shows
// its error in an "Invalid Picture" box and the command goes on with the
// next step; a cancel is silent. The form shows the hourglass meanwhile.
void SaveCommand(runtime::CommonDialog& dialog, const runtime::Picture& picture, runtime::Control& form);

// Prints the picture fitted to one page of the default printer. Shows
// nothing; returns why no page reached a printer, empty when one did.
std::string PrintCommand(const runtime::Picture& picture);

// Empties the clipboard and puts a copy of the picture on it as a bitmap;
// without a picture the clipboard stays empty.
void CopyCommand(const runtime::Picture& picture);

}  // namespace output
