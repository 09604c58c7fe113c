#include "output/m_intel_jpeg_library.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "output/dib_test_pictures.h"
#include "runtime/app.h"
#include "runtime/error.h"
#include "runtime/jpeg/jpeg_check.h"

using namespace runtime;
using output::cDIBSection;
using output::SaveDibToJpeg;

namespace {

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string ReadText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = jpegcheck::ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

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

TEST(mIntelJPEGLibrary, RecordDescribesTheDibBottomUpWithItsPadBytes) {
  for (const auto& [width, pad] : {std::pair{4, 0}, {5, 1}, {7, 3}}) {
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(width, 3));
    JPEG_CORE_PROPERTIES tJ{};
    ASSERT_EQ(ijlInit(&tJ), IJL_OK);
    output::FillJpegRecord(tJ, dib, "x.jpg", 80);
    EXPECT_EQ(tJ.DIBPadBytes, pad) << width;
    ijlFree(&tJ);
  }

  cDIBSection dib;
  ASSERT_TRUE(dib.Create(640, 480));
  const char* name = "shot.jpg";
  for (const int quality : {80, 0, 150}) {
    JPEG_CORE_PROPERTIES tJ{};
    ASSERT_EQ(ijlInit(&tJ), IJL_OK);
    output::FillJpegRecord(tJ, dib, name, quality);
    EXPECT_EQ(tJ.DIBBytes, dib.DIBSectionBitsPtr());
    EXPECT_EQ(tJ.DIBWidth, 640);
    EXPECT_EQ(tJ.DIBHeight, -480);
    EXPECT_EQ(tJ.DIBPadBytes, 0);
    EXPECT_EQ(tJ.JPGFile, name);
    EXPECT_EQ(tJ.JPGWidth, 640);
    EXPECT_EQ(tJ.JPGHeight, 480);
    EXPECT_EQ(tJ.jquality, quality);  // passed on as given
    // What the writer does not set keeps the library's defaults.
    EXPECT_EQ(tJ.DIBChannels, 3);
    EXPECT_EQ(tJ.DIBColor, IJL_BGR);
    EXPECT_EQ(tJ.JPGChannels, 3);
    EXPECT_EQ(tJ.JPGColor, IJL_YCBCR);
    ijlFree(&tJ);
  }
}

TEST(mIntelJPEGLibrary, SavedFileIsTheSourcePictureAtQuality80) {
  jpegcheck::TempDir dir;
  const std::vector<std::uint8_t> rgb = testpictures::SmoothRgb(640, 480);
  cDIBSection dib;
  dib.CreateFromPicture(testpictures::MakePicture(640, 480, rgb));
  const std::string file = dir / "shot.jpg";
  ASSERT_TRUE(SaveDibToJpeg(dib, file, 80));

  const jpegcheck::Decoded d = jpegcheck::DecodeFile(file);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.warnings, 0);
  EXPECT_EQ(d.width, 640);
  EXPECT_EQ(d.height, 480);
  EXPECT_EQ(d.components, 3);
  EXPECT_EQ((std::vector<int>{d.h[0], d.v[0], d.h[1], d.v[1], d.h[2], d.v[2]}), (std::vector<int>{2, 2, 1, 1, 1, 1}));
  EXPECT_EQ(std::vector<std::uint16_t>(d.luma, d.luma + 64), jpegcheck::LumaTable(80));
  EXPECT_GT(jpegcheck::Psnr(d.rgb, rgb), 35);
  EXPECT_EQ(jpegcheck::Identify(file), "640 480 sRGB 2x2,1x1,1x1");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"shot.jpg"});
}

TEST(mIntelJPEGLibrary, OverwrittenFileKeepsItsTimesAndMode) {
  jpegcheck::TempDir dir;
  const std::string file = dir / "old.jpg";
  WriteText(file, "old contents");
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
  EXPECT_TRUE(jpegcheck::DecodeFile(file).ok);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"old.jpg"});
}

TEST(mIntelJPEGLibrary, FailedSaveLeavesTheOldFileExactlyAsItWas) {
  jpegcheck::TempDir dir;
  App().EXEName = "glimmet";
  const std::string file = dir / "old.jpg";
  WriteText(file, "old contents");
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
  {
    SCOPED_TRACE("missing folder");
    EXPECT_EQ(SaveError(good, dir / "missing/new.jpg").Number, kErrPathNotFound);
  }
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

  EXPECT_EQ(ReadText(file), "old contents");
  const struct stat after = Stat(file);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"old.jpg"});  // no temporary file left
}

TEST(mIntelJPEGLibrary, NonAsciiFileNamesWork) {
  jpegcheck::TempDir dir;
  cDIBSection dib;
  dib.CreateFromPicture(testpictures::MakePicture(40, 30));
  const std::string name = "Übersicht — 画面 ñ.jpg";
  ASSERT_TRUE(SaveDibToJpeg(dib, dir / name, 80));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{name});
  const jpegcheck::Decoded d = jpegcheck::DecodeFile(dir / name);
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.width, 40);
}
