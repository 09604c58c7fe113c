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

struct stat Stat(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st;
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

// Widths with and without pad bytes in the DIB rows; a non-ASCII name.
TEST(mIntelJPEGLibrary, SavedFileIsTheSourcePictureAtQuality80) {
  for (const int width : {640, 643}) {
    SCOPED_TRACE(width);
    TempDir dir;
    const std::vector<std::uint8_t> rgb = jpegcheck::SmoothRgb(width, 480);
    cDIBSection dib;
    dib.CreateFromPicture(testpictures::MakePicture(width, 480, rgb));
    const std::string name = "Übersicht — 画面 ñ.jpg";
    ASSERT_TRUE(SaveDibToJpeg(dib, dir / name, 80));
    EXPECT_GT(jpegcheck::Psnr(jpegcheck::ExpectJpeg(dir / name, width, 480).rgb, rgb), 35);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{name});
  }
}

TEST(mIntelJPEGLibrary, OverwrittenFileKeepsItsTimesAndMode) {
  TempDir dir;
  const std::string file = dir / "old.jpg";
  testshell::WriteFile(file, "old contents");
  ::chmod(file.c_str(), 0640);
  const timespec times[2] = {{1000000000, 123}, {1100000000, 456}};  // access, write
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

  cDIBSection dib;
  dib.CreateFromPicture(testpictures::MakePicture(33, 17));
  ASSERT_TRUE(SaveDibToJpeg(dib, file, 80));

  const struct stat st = Stat(file);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_atim.tv_nsec, 123);
  EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 456);
  jpegcheck::ExpectJpeg(file, 33, 17);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"old.jpg"});
}

TEST(mIntelJPEGLibrary, FailedSaveLeavesTheOldFileExactlyAsItWas) {
  TempDir dir;
  App().EXEName = "glimmet";
  const std::string file = dir / "old.jpg";
  testshell::WriteFile(file, "old contents");
  const struct stat before = Stat(file);
  cDIBSection good;
  good.CreateFromPicture(testpictures::MakePicture(16, 16));

  {
    SCOPED_TRACE("empty DIB");
    cDIBSection empty;
    EXPECT_FALSE(empty.Create(0, 0));
    const RuntimeError e = SaveError(empty, file);
    EXPECT_EQ(e.Number, 26001);
    EXPECT_EQ(e.Description, "Failed to save to JPG " + std::to_string(IJL_NULL_POINTER));
    EXPECT_EQ(e.Source, "glimmet.mIntelJPEGLibrary");
  }
  EXPECT_EQ(SaveError(good, dir / "missing/new.jpg").Number, kErrPathNotFound);
  {
    SCOPED_TRACE("folder in the way");
    std::filesystem::create_directory(dir / "folder.jpg");
    EXPECT_NE(SaveError(good, dir / "folder.jpg").Number, 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "folder.jpg"));
    std::filesystem::remove(dir / "folder.jpg");
  }
  if (::geteuid() != 0) {  // root writes anywhere
    SCOPED_TRACE("read-only folder");
    ::chmod(dir.path.c_str(), 0555);
    EXPECT_EQ(SaveError(good, file).Number, kErrPermissionDenied);
    ::chmod(dir.path.c_str(), 0755);
  }

  EXPECT_EQ(testshell::ReadFile(file), "old contents");
  const struct stat after = Stat(file);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"old.jpg"});  // no temporary file left
}
