#include "startup/report.h"

#include "runtime/app.h"

namespace startup {
namespace {

// Bytes in the UTF-8 sequence at text[i], or 0 when it is not one.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  return length;
}

void Hex(std::string& out, unsigned char c) {
  static const char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out += kDigits[c >> 4];
  out += kDigits[c & 15];
}

void Print(const std::string& line) {
  runtime::WriteStandardError("glimmet: " + line + "\n");
}

}  // namespace

std::string EscapeControls(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
      ++i;
    } else if (c == '\n' || c == '\r' || c == '\t') {
      out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
      ++i;
    } else if (const std::size_t length = c >= 0x80 ? SequenceLength(text, i) : 0;
               length > 0 && !(c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      Hex(out, c);
      ++i;
    }
  }
  return out;
}

void PrintReason(const std::string& reason) { Print(EscapeControls(reason)); }

void PrintWarning(const std::string& text) { Print("warning: " + EscapeControls(text)); }

}  // namespace startup
