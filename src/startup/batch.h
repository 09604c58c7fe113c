// The main window's load handler: the choice between the interactive start
// and the unattended batch run, and the batch run itself.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "capture/module.h"
#include "mainwindow/frm_bitmap.h"
#include "startup/startup.h"

namespace startup {

struct BatchResult {
  BatchResult() = default;
  BatchResult(int status, std::string message) : status(status), message(std::move(message)) {}
  int status = kExitOk;
  std::string message;  // why the run failed, for stderr
  std::string warning;  // what a successful run did not do, for stderr
};

// Runs at load: an empty command line starts the interactive program,
// anything else is a batch run that ends by unloading the window.
BatchResult FormLoad(mainwindow::frmBitmap& form);

// Whether the command line is empty (blanks only): the interactive start.
bool IsInteractive();

// The command line's argument text without the blanks at its ends.
std::string TrimmedCommand();

// A window handle from its decimal text, as the working boxes hold it.
using capture::HandleFromText;

}  // namespace startup
