// The one-line messages a run leaves on standard error.
#pragma once
#include <string>
#include <string_view>

namespace startup {

// text with every control character written as an escape (\n, \r, \t,
// \x1b), C1 controls and bytes that are not UTF-8 included, so that a
// caption or a path can neither break the line nor drive the terminal.
std::string EscapeControls(std::string_view text);

// "glimmet: reason" as one line on stderr.
void PrintReason(const std::string& reason);
// "glimmet: warning: text" as one line on stderr.
void PrintWarning(const std::string& text);

}  // namespace startup
