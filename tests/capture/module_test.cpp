// Window handles read back from the text of the working boxes and the
// command line.
#include "capture/module.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace {

TEST(HandleFromText, AcceptsDecimalAndXwininfoHexadecimalWithin32Bits) {
  const std::pair<const char*, std::int32_t> good[] = {
      {" -5 ", -5},         {"12.5", 12},          {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
      {"0x1f", 31},         {" 0X1a00007 ", 0x1a00007}, {"0x7fffffff", INT32_MAX}, {"0x0000000000000001", 1}};
  for (const auto& [text, handle] : good) EXPECT_EQ(capture::HandleFromText(text), handle) << text;  // 12.5: half to even
  for (const char* bad : {"abc", "", "   ", "12a", "99999999999", "2147483648", "-", "1.2.3", "1e5", "0x", "0x80000000",
                          "0x1g", "-0x5", "0x 5", "x1f", "0x1f.5", "0x123456789"})
    EXPECT_FALSE(capture::HandleFromText(bad).has_value()) << bad;
}

}  // namespace
