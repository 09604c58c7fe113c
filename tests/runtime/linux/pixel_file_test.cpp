// Pixels in a memory file: its view and the file are one, a whole copy into
// a bitmap and a bitmap file read through the file, and a file that cannot
// be read to its end leaves the rest to memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "runtime/fileio.h"
#include "runtime/gdi.h"
#include "runtime/picture.h"
#include "runtime/platform.h"
#include "shell.h"

using runtime::platform::PixelFile;
using testshell::ReadFile;
using testshell::TempDir;

namespace {

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> pattern(size);
  for (std::size_t i = 0; i < size; ++i) pattern[i] = static_cast<std::uint8_t>(i * 13 + i / 4096);
  return pattern;
}

// The descriptor of this process's memory file of exactly size bytes.
int MemoryFileOfSize(std::size_t size) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ignored;
    const std::string target = std::filesystem::read_symlink(entry.path(), ignored).string();
    const int fd = std::stoi(entry.path().filename().string());
    struct stat st {};
    if (target.find("memfd:glimmet-pixels") != std::string::npos && fstat(fd, &st) == 0 &&
        static_cast<std::size_t>(st.st_size) == size)
      return fd;
  }
  return -1;
}

}  // namespace

TEST(PixelFile, TheViewIsTheFileAndCopiesReadIt) {
  const std::size_t size = (std::size_t{3} << 20) + 124;  // not a whole number of pages
  auto file = PixelFile::Create(size);
  ASSERT_TRUE(file);
  const auto pattern = Pattern(size);
  ASSERT_TRUE(file->Write(pattern.data(), size - 1000, 0));
  ASSERT_TRUE(file->Write(pattern.data() + size - 1000, 1000, size - 1000));
  EXPECT_FALSE(file->Write(pattern.data(), 2, size - 1));  // past the end
  EXPECT_FALSE(file->Write(pattern.data(), 1, size + 1));

  auto a = file->View(), b = file->View();
  ASSERT_TRUE(a && b);
  auto* pa = static_cast<std::uint8_t*>(a.get());
  auto* pb = static_cast<std::uint8_t*>(b.get());
  EXPECT_EQ(std::memcmp(pa, pattern.data(), size), 0);
  // Written through one view: the file and every view hold it.
  pa[0] ^= 0xff, pa[size - 1] ^= 0xff;
  std::uint8_t ends[2];
  ASSERT_TRUE(file->Read(&ends[0], 1, 0) && file->Read(&ends[1], 1, size - 1));
  EXPECT_EQ(std::make_pair(ends[0], ends[1]), std::make_pair(pa[0], pa[size - 1]));
  EXPECT_EQ(std::memcmp(pb, pa, size), 0);
  EXPECT_FALSE(file->Read(ends, 2, size - 1));

  // A whole copy into a bitmap of that size, with or without memory of its
  // own, is its own: later writes on either side stay there.
  runtime::Bitmap fresh, held;
  fresh.width = held.width = static_cast<std::int32_t>(size);
  fresh.height = held.height = 1;
  fresh.bitsPixel = held.bitsPixel = 8;
  ASSERT_TRUE(held.Allocate());
  for (runtime::Bitmap* dst : {&fresh, &held}) {
    ASSERT_TRUE(file->CopyInto(*dst));
    EXPECT_EQ(std::memcmp(dst->bits, pa, size), 0);
  }
  held.bits[5] ^= 0xff;
  pa[7] ^= 0xff;
  EXPECT_NE(held.bits[5], pa[5]);
  EXPECT_NE(fresh.bits[7], pa[7]);
  runtime::Bitmap other;  // another size is refused
  other.width = 10, other.height = 1, other.bitsPixel = 8;
  EXPECT_FALSE(file->CopyInto(other));
}

// The rows of a 24-bit bottom-up picture held in a memory file go to the
// bitmap file from the file; where the file ends early, the rest comes from
// the picture's memory, from the very byte where the file stopped.
TEST(PixelFile, ABitmapFileTakesWhatTheFileCannotGiveFromMemory) {
  const int width = 401, height = 300;  // 1204 bytes a row, 361200 in all: two pieces
  const std::size_t stride = 1204, size = stride * height;
  const auto pattern = Pattern(size);
  const TempDir dir;
  for (const std::size_t cut : {size, std::size_t{300000}, std::size_t{1000}, std::size_t{0}}) {
    SCOPED_TRACE(cut);
    auto file = PixelFile::Create(size);
    ASSERT_TRUE(file && file->Write(pattern.data(), size, 0));
    // The picture's memory is a copy of its own, so that it stays readable
    // when the file is cut short behind the picture's back.
    const runtime::HBITMAP handle = runtime::CreateCompatibleBitmap(0, width, height);
    runtime::Bitmap& b = *runtime::BitmapOf(handle);
    b.bitsPixel = 24, b.bottomUp = true;
    ASSERT_TRUE(b.Allocate());
    ASSERT_EQ(static_cast<std::size_t>(b.stride), stride);
    std::memcpy(b.bits, pattern.data(), size);
    b.file = file;
    const int fd = MemoryFileOfSize(size);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(cut)), 0);
    runtime::PICTDESC desc;
    desc.hbitmap = handle;
    const runtime::Picture picture = runtime::OleCreatePictureIndirect(desc, true);
    runtime::SavePicture(picture, dir / "p.bmp");
    const std::string bmp = ReadFile(dir / "p.bmp");
    ASSERT_EQ(bmp.size(), 54 + size);
    EXPECT_EQ(std::memcmp(bmp.data() + 54, pattern.data(), size), 0);
  }
}

// A sink gets the file in pieces, all of it, and is told how much went.
TEST(PixelFile, WritesItselfToASink) {
  const std::size_t size = (std::size_t{1} << 20) + 7;
  const auto pattern = Pattern(size);
  auto file = PixelFile::Create(size);
  ASSERT_TRUE(file && file->Write(pattern.data(), size, 0));
  const TempDir dir;
  const int fd = open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  {
    runtime::FileSink sink(fd, dir / "out");
    EXPECT_EQ(file->WriteTo(sink), size);
    sink.Flush();
  }
  close(fd);
  const std::string out = ReadFile(dir / "out");
  ASSERT_EQ(out.size(), size);
  EXPECT_EQ(std::memcmp(out.data(), pattern.data(), size), 0);
}
