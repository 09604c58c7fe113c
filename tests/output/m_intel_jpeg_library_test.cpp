#include "output/m_intel_jpeg_library.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "output/dib_test_pictures.h"
#include "runtime/app.h"
#include "runtime/error.h"
#include "runtime/jpeg/jpeg_check.h"

using namespace runtime;
using output::cDIBSection;
using output::SaveDibToJpeg;
using testshell::TempDir;

namespace {

// The file's inode, mode and times (access, then write).
std::vector<long> Stat(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return {long(st.st_ino), long(st.st_mode & 07777), st.st_atim.tv_sec, st.st_atim.tv_nsec, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

// The error SaveDibToJpeg raised, or one numbered 0 when it returned true.
RuntimeError SaveError(const cDIBSection& dib, const std::string& file) {
  try {
    EXPECT_TRUE(SaveDibToJpeg(dib, file, 80));
  } catch (const RuntimeError& e) {
    return e;
  }
  return RuntimeError(0, "");
}

}  // namespace

// Widths with and without pad bytes in the DIB rows; a non-ASCII name; an
// overwritten file keeps its mode and times.
TEST(mIntelJPEGLibrary, SavedFileIsTheSourcePictureAtQuality80) {
  for (const int width : {640, 643}) {
    SCOPED_TRACE(width);
    TempDir dir;
    const std::vector<std::uint8_t> rgb = jpegcheck::SmoothRgb(width, 480);
    cDIBSection dib;
    dib.CreateFromPicture(testpictures::MakePicture(width, 480, rgb));
    const std::string name = "Übersicht — 画面 ñ.jpg";
    testshell::WriteFile(dir / name, "old contents");
    ::chmod((dir / name).c_str(), 0640);
    const timespec times[2] = {{1000000000, 123}, {1100000000, 456}};  // access, write
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / name).c_str(), times, 0), 0);
    ASSERT_TRUE(SaveDibToJpeg(dib, dir / name, 80));
    const std::vector<long> st = Stat(dir / name);
    EXPECT_EQ(std::vector<long>(st.begin() + 1, st.end()), (std::vector<long>{0640, 1000000000, 123, 1100000000, 456}));
    EXPECT_GT(jpegcheck::Psnr(jpegcheck::ExpectJpeg(dir / name, width, 480).rgb, rgb), 35);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{name});
  }
}

TEST(mIntelJPEGLibrary, FailedSaveLeavesTheOldFileExactlyAsItWas) {
  TempDir dir;
  App().EXEName = "glimmet";
  const std::string file = dir / "old.jpg";
  testshell::WriteFile(file, "old contents");
  const std::vector<long> before = Stat(file);
  cDIBSection good, empty;
  good.CreateFromPicture(testpictures::MakePicture(16, 16));
  EXPECT_FALSE(empty.Create(0, 0));
  const RuntimeError e = SaveError(empty, file);
  EXPECT_EQ(std::make_tuple(e.Number, e.Description, e.Source),
            std::make_tuple(26001, "Failed to save to JPG " + std::to_string(IJL_NULL_POINTER), "glimmet.mIntelJPEGLibrary"));
  EXPECT_EQ(SaveError(good, dir / "missing/new.jpg").Number, kErrPathNotFound);
  if (::geteuid() != 0) {  // root writes anywhere
    ::chmod(dir.path.c_str(), 0555);
    EXPECT_EQ(SaveError(good, file).Number, kErrPermissionDenied);
    ::chmod(dir.path.c_str(), 0755);
  }
  EXPECT_EQ(Stat(file), before);  // before reading it, which sets its access time
  EXPECT_EQ(testshell::ReadFile(file), "old contents");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"old.jpg"});  // no temporary file left
}
