// The escaping of reasons: text passes, anything that could break the line
// or drive a terminal comes out as an escape, byte by byte.
#include <gtest/gtest.h>

#include "startup/report.h"

using startup::EscapeControls;

TEST(EscapeControls, KeepsTextAndUtf8AndEscapesControlsAndBrokenSequences) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain /SAVE=a b.jpg", "plain /SAVE=a b.jpg"},
      {"line\nbreak\r\ttab", "line\\nbreak\\r\\ttab"},
      {"\x1b[31mred\x7f", "\\x1b[31mred\\x7f"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xb7", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xb7"},  // é, €, a camera
      // C1 controls, encoded as UTF-8 (U+0085, U+009B), are controls too.
      {"\xc2\x85\xc2\x9b", "\\xc2\\x85\\xc2\\x9b"},
      {"\xc2\xa0", "\xc2\xa0"},  // the first character after them is text
      // Overlong leads: 0xC0 0xAF would be a second '/', 0xC1 0xBF a '\x7f'.
      {"\xc0\xaf", "\\xc0\\xaf"},
      {"\xc1\xbf", "\\xc1\\xbf"},
      // Leads past U+10FFFF, lone continuation bytes, cut-off sequences.
      {"\xf5\x80\x80\x80", "\\xf5\\x80\\x80\\x80"},
      {"\x80x", "\\x80x"},
      {"\xe2\x82", "\\xe2\\x82"},
      {"\xe2(\xa1", "\\xe2(\\xa1"},
      {std::string("nul\0end", 7), "nul\\x00end"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControls(c.in), c.out) << c.out;
}
