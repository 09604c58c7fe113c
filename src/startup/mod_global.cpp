#include "startup/mod_global.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

#include "runtime/gui.h"
#include "runtime/text.h"

namespace startup {
namespace {

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

// A key counts only at the start of the command line or right after a
// blank; anywhere else it is part of the value it stands in, as in a path
// such as /tmp/Screenshots/a.jpg.
bool KeyStartsAt(const std::string& upper, std::size_t pos, std::string_view upperKey) {
  return (pos == 0 || upper[pos - 1] == ' ') && upper.compare(pos, upperKey.size(), upperKey) == 0;
}

// A value ends where one of the batch keys, or the reader's own key, starts.
bool ValueEndsAt(const std::string& upper, std::size_t pos, std::string_view ownKey) {
  if (upper[pos] != '/') return false;
  if (KeyStartsAt(upper, pos, ownKey)) return true;
  for (const char* key : kParameterKeys)
    if (KeyStartsAt(upper, pos, key)) return true;
  return false;
}

// Character codes of a UTF-8 string: one code per character; codes above
// 255 stand for characters outside Latin-1.
std::vector<std::int32_t> Codes(const std::string& s) {
  std::vector<std::int32_t> codes;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (i + len > s.size()) len = 1;
    std::int32_t code = len == 1 ? c : c & (0x7F >> len);
    for (int k = 1; k < len; ++k) code = (code << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    codes.push_back(code);
    i += len;
  }
  return codes;
}

// The leading number of a value: optional minus sign and digits.
double LeadingNumber(const std::string& s) {
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && s[i] == '-') {
    negative = true;
    ++i;
  }
  double value = 0;
  for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) value = value * 10 + (s[i] - '0');
  return negative ? -value : value;
}

bool Accepts(std::int32_t c, const std::string& sType) {
  if (sType == "Alpha") return (c >= 65 && c <= 90) || (c >= 97 && c <= 122) || c == 32 || c == 39 || c == 45 || c == 8;
  if (sType == "Number") return (c >= '0' && c <= '9') || c == 8 || c == 45;
  if (sType == "BrokenNumbers") return c == 44 || (c >= '0' && c <= '9') || c == 8 || c == 45 || c == 46;
  if (sType == "NoPunc")
    return !((c >= 33 && c <= 47) || (c >= 58 && c <= 63) || (c >= 91 && c <= 96) || (c >= 123 && c <= 255));
  if (sType == "Date") return (c >= 47 && c <= 57) || c == 8;
  if (sType == "NumericComma") return (c >= 47 && c <= 57) || c == 8 || c == 44;
  return false;
}

bool KnownType(const std::string& sType) {
  return sType == "Alpha" || sType == "Number" || sType == "BrokenNumbers" || sType == "NoPunc" || sType == "Date" ||
         sType == "NumericComma";
}

// The key of kParameterKeys that starts at pos under the key rule, if any.
const char* KeyAt(const std::string& upper, std::size_t pos) {
  if (upper[pos] != '/') return nullptr;
  for (const char* key : kParameterKeys)
    if (KeyStartsAt(upper, pos, key)) return key;
  return nullptr;
}

// The first blank-separated word of text[from, to), or "" when it has none.
std::string FirstWord(const std::string& text, std::size_t from, std::size_t to) {
  const std::size_t start = text.find_first_not_of(' ', from);
  if (start == std::string::npos || start >= to) return {};
  const std::size_t end = std::min(text.find(' ', start), to);
  return text.substr(start, end - start);
}

}  // namespace

std::string StrayWord(const std::string& sCommand) {
  const std::string upper = Upper(sCommand);
  // Text before the first key, then after each flag's glued letters; a
  // value runs to the next key and owns all that lies between.
  std::size_t open = 0;  // start of the text that no key has claimed yet
  for (std::size_t pos = 0; pos < upper.size(); ++pos) {
    const char* key = KeyAt(upper, pos);
    if (!key) continue;
    if (std::string word = FirstWord(sCommand, open, pos); !word.empty()) return word;
    const std::size_t end = pos + std::string_view(key).size();
    if (key[std::string_view(key).size() - 1] == '=') {
      open = std::string::npos;
    } else {
      const std::size_t blank = upper.find(' ', end);
      open = blank == std::string::npos ? upper.size() : blank;
    }
    pos = end - 1;
  }
  return open == std::string::npos ? std::string() : FirstWord(sCommand, open, sCommand.size());
}

std::size_t FindKey(const std::string& sCommand, const std::string& sKey) {
  if (sKey.empty()) return std::string::npos;
  const std::string upper = Upper(sCommand), key = Upper(sKey);
  for (std::size_t pos = upper.find(key); pos != std::string::npos; pos = upper.find(key, pos + 1))
    if (KeyStartsAt(upper, pos, key)) return pos;
  return std::string::npos;
}

ParameterValue ReadParameter(const std::string& sCommand, const std::string& sKey, const std::string& sType) {
  const std::size_t found = FindKey(sCommand, sKey);
  if (found == std::string::npos) {
    if (sType == "All" || sType == "NumericComma") return std::string();
    if (sType == "Number") return std::int16_t{0};
    runtime::MsgBox("wrong isType");
    return Empty{};
  }
  const std::string upper = Upper(sCommand), upperKey = Upper(sKey);
  // 1-based positions, as the cut is defined on them.
  const std::size_t lPos = found + 1;
  const std::size_t lStart = lPos + sKey.size();
  std::size_t lEnd = sCommand.size() + 1;
  for (std::size_t i = lStart - 1; i < upper.size(); ++i) {
    if (ValueEndsAt(upper, i, upperKey)) {
      lEnd = i;  // position of "/" minus 1, 1-based
      break;
    }
  }
  std::string value;
  if (lEnd > lStart) value = sCommand.substr(lStart - 1, lEnd - lStart);
  value = runtime::TrimBlanks(value);

  if (IsValidValue(value, sType)) {
    if (sType == "All" || sType == "NumericComma") return value;
    if (sType == "Number") return LeadingNumber(value);
    runtime::MsgBox("wrong isType");
    return Empty{};
  }
  runtime::MsgBox(value + "  is not a valid value for  " + sKey + "\r\n\r\nValue has been reset to 0");
  return std::int16_t{0};
}

bool IsValidValue(const std::string& sValue, const std::string& sType) {
  if (sType == "All") return true;
  bool valid = true;
  for (std::int32_t code : Codes(sValue)) {
    auto nCode = static_cast<std::int16_t>(std::min<std::int32_t>(code, 0x7FFF));
    if (FilterKey(nCode, sType) == 0) valid = false;
  }
  return valid;
}

std::int16_t FilterKey(std::int16_t& nCode, const std::string& sType) {
  if (!KnownType(sType)) {
    nCode = 0;
    return 0;
  }
  if (Accepts(nCode, sType)) return nCode;
  runtime::Beep();
  runtime::Beep();
  return 0;
}

void WriteRegistryString(runtime::HKEY& hKey, const std::string& sPath, const std::string& sName,
                         const std::string& sValue) {
  runtime::HKEY key = 0;
  runtime::RegCreateKeyA(hKey, sPath.c_str(), &key);
  runtime::RegSetValueExA(key, sName.c_str(), 0, runtime::REG_SZ, reinterpret_cast<const std::uint8_t*>(sValue.c_str()),
                          static_cast<std::uint32_t>(sValue.size() + 1));
  runtime::RegCloseKey(key);
}

}  // namespace startup
