// The two answers a command line can ask for instead of a capture: the
// usage text and the version.
#pragma once
#include <optional>
#include <string>

namespace startup {

// "--help", "-h" or "/?" alone give the usage text; "--version" or "-V"
// alone give "glimmet 1.0.2". Every other command line gives nothing.
std::optional<std::string> AnswerFor(const std::string& sCommandLine);

}  // namespace startup
