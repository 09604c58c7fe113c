// The default printer of a Windows session, for the GUI backend.
#pragma once
#include <memory>
#include <string>

#include "runtime/printer.h"

namespace runtime::win32 {

// nullptr with the reason in why when there is no usable default printer.
std::unique_ptr<PrinterDevice> OpenDefaultPrinter(std::string& why);

}  // namespace runtime::win32
