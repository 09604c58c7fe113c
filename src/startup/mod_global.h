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
// other types give "wrong isType"). A key is recognised, in any letter case,
// only at the start of sCommand or right after a blank; the first such
// occurrence counts. The value ends one character before the next key so
// recognised (one of kParameterKeys, or sKey again) and is trimmed.
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

// Position (0-based) of the first occurrence of sKey, in any letter case,
// at the start of sCommand or right after a blank; npos when there is none.
// Flags are found the same way, as prefixes (/PRINTER sets /PRINT).
std::size_t FindKey(const std::string& sCommand, const std::string& sKey);

// The keys of the batch command line, which end the value before them.
inline constexpr const char* kParameterKeys[] = {"/WINDOWTEXT=", "/HWND=", "/SCREEN", "/SAVE=", "/PRINT"};

// The first word of sCommand that belongs to no parameter: one standing
// apart before the first key, or after a blank that follows a flag (letters
// glued to a flag, as in /PRINTER, belong to it). Empty when every word
// belongs to a key or a value.
std::string StrayWord(const std::string& sCommand);

}  // namespace startup
