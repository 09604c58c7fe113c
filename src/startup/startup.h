// Program start: fills the application object, loads the main window and
// runs the message loop until no form remains; returns the exit status.
#pragma once

namespace startup {

// Exit statuses of a batch run (documented in the README).
enum ExitStatus : int {
  kExitOk = 0,           // captured, every requested save written and printout handed to the printer
  kExitFailure = 1,      // an unexpected run-time error
  kExitBadArgument = 2,  // a parameter value that cannot be used (/HWND= not a number)
  kExitNoTarget = 3,     // no target given, no window with that caption, or nothing captured
  kExitSaveFailed = 4,   // the picture file could not be written
  kExitNoDisplay = 5,    // no X display to capture from
  kExitPrintFailed = 6,  // /PRINT put no page on a printer (the file was still saved)
};

int Main(int argc, char** argv);

}  // namespace startup
