// Pixels in a memory file: views are private copies that share pages until
// written, and a view mapped over a bitmap's own buffer keeps its address.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/platform.h"

using runtime::platform::AllocatePixels;
using runtime::platform::PixelFile;

TEST(PixelFile, ViewsAreCopiesThatShareUntilWritten) {
  const std::size_t size = (std::size_t{3} << 20) + 123;  // not a whole number of pages
  auto file = PixelFile::Create(size);
  ASSERT_TRUE(file);
  std::vector<std::uint8_t> pattern(size);
  for (std::size_t i = 0; i < size; ++i) pattern[i] = static_cast<std::uint8_t>(i * 13 + i / 4096);
  ASSERT_TRUE(file->Write(pattern.data(), size - 1000, 0));
  ASSERT_TRUE(file->Write(pattern.data() + size - 1000, 1000, size - 1000));
  EXPECT_FALSE(file->Write(pattern.data(), 2, size - 1));  // past the end
  EXPECT_FALSE(file->Write(pattern.data(), 1, size + 1));

  auto a = file->View(), b = file->View();
  ASSERT_TRUE(a && b);
  auto* pa = static_cast<std::uint8_t*>(a.get());
  auto* pb = static_cast<std::uint8_t*>(b.get());
  EXPECT_EQ(std::memcmp(pa, pattern.data(), size), 0);
  pa[0] ^= 0xff, pa[size - 1] ^= 0xff;
  EXPECT_EQ(std::memcmp(pb, pattern.data(), size), 0);  // the other view and the file keep theirs
  EXPECT_EQ(std::memcmp(static_cast<std::uint8_t*>(file->View().get()), pattern.data(), size), 0);

  // Over a screen-sized buffer: same address, the file's pixels, zero
  // after them to the end of the page; a misaligned address is refused.
  bool remappable = false;
  auto buffer = AllocatePixels(size, &remappable);
  ASSERT_TRUE(buffer && remappable);
  auto* bits = static_cast<std::uint8_t*>(buffer.get());
  std::memset(bits, 0x77, size);
  EXPECT_FALSE(file->ViewAt(bits + 1));
  ASSERT_TRUE(file->ViewAt(bits));
  EXPECT_EQ(std::memcmp(bits, pattern.data(), size), 0);
  EXPECT_EQ(bits[size], 0);
  bits[5] ^= 0xff;
  EXPECT_EQ(std::memcmp(pb, pattern.data(), size), 0);
}
