#include "startup/usage.h"

#include "runtime/app.h"

namespace startup {
namespace {

std::string Version() {
  const runtime::Application& app = runtime::App();
  return "glimmet " + std::to_string(app.Major) + "." + std::to_string(app.Minor) + "." +
         std::to_string(app.Revision) + "\n";
}

constexpr const char* kUsage =
    "Usage: glimmet                 start the interactive program\n"
    "       glimmet PARAMETER...    capture once, save and/or print, and end\n"
    "       glimmet --help          this text (also -h or /?)\n"
    "       glimmet --version       the version (also -V)\n"
    "\n"
    "Parameters (keys in any letter case):\n"
    "  /SCREEN             capture the whole primary screen\n"
    "  /HWND=number        capture the window with this handle (decimal, or 0x hexadecimal\n"
    "                      as xwininfo prints it)\n"
    "  /WINDOWTEXT=text    capture the top-level window whose caption is exactly text\n"
    "  /SAVE=file          write the picture: JPEG at quality 80 for names ending in .jpg,\n"
    "                      a BMP under exactly that name otherwise\n"
    "  /PRINT              print the picture on the default printer, after the save\n"
    "/SCREEN wins over /HWND=, which wins over /WINDOWTEXT=.\n"
    "\n"
    "A key counts only at the start of the command line or after a blank, and a value\n"
    "runs to the blank before the next key; a word that belongs to no parameter is an error.\n"
    "\n"
    "Exit status:\n"
    "  0  captured, every requested save written and printout handed to the printer\n"
    "  1  an unexpected error\n"
    "  2  a parameter that cannot be used: a word that belongs to no parameter,\n"
    "     /SAVE= without a name, /HWND= that is not a 32-bit number\n"
    "  3  nothing captured: no target, no such window, or one the screen does not show\n"
    "  4  the picture file could not be written; nothing was written\n"
    "  5  no X display could be opened\n"
    "  6  /PRINT put no page on a printer (the file was still saved)\n"
    "Every status but 0 leaves a one-line reason on standard error.\n"
    "\n"
    "Every other run records where glimmet is installed, when it ends, in\n"
    "${XDG_CONFIG_HOME:-~/.config}/software/ostmarin/Tessakit/Glimmet/Installation.ini\n"
    "(see glimmet(1)).\n";

}  // namespace

std::optional<std::string> AnswerFor(const std::string& sCommandLine) {
  if (sCommandLine == "--help" || sCommandLine == "-h" || sCommandLine == "/?") return std::string(kUsage);
  if (sCommandLine == "--version" || sCommandLine == "-V") return Version();
  return std::nullopt;
}

}  // namespace startup
