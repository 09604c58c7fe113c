// Shared helpers of start-up: the command-line parameter reader with its
// value types and keystroke filter, and the registry string writer.
#pragma once
#include <cstdint>
#include <string>
#include <variant>

#include "runtime/registry.h"

namespace startup {

// The reader's result: empty (unset), a string, a double, or the integer 0.
struct Empty {
  bool operator==(const Empty&) const = default;
};
using ParameterValue = std::variant<Empty, std::string, double, std::int16_t>;

// The value of the parameter sKey (which includes its "=") in sCommand,
// checked against the value type sType ("All", "Number", "NumericComma";
// other types give "wrong isType"). Keys match without regard to case; the
// value ends at the next "/" that follows a blank or starts a known key,
// minus the one character before that "/", and is trimmed.
ParameterValue ReadParameter(const std::string& sCommand, const std::string& sKey, const std::string& sType);

// True when every character of sValue passes FilterKey for sType; always
// true for "All" and for an empty value. Examines every character.
bool IsValidValue(const std::string& sValue, const std::string& sType);

// The code when the character is accepted for sType, else 0 after two
// beeps. An unknown type sets nCode to 0 and returns 0 silently.
std::int16_t FilterKey(std::int16_t& nCode, const std::string& sType);

// Creates or opens root\sPath, sets the string value sName and closes it.
// Nothing is reported.
void WriteRegistryString(runtime::HKEY& hKey, const std::string& sPath, const std::string& sName,
                         const std::string& sValue);

// The keys of the batch command line; a "/" that starts one of them ends
// the value before it even without a blank.
inline constexpr const char* kParameterKeys[] = {"/WINDOWTEXT=", "/HWND=", "/SCREEN", "/SAVE=", "/PRINT"};

}  // namespace startup
