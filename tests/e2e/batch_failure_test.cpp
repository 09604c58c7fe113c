// Batch runs that cannot capture or cannot write: the exit status tells the
// script why, nothing partial is left behind, and the run never hangs.
#include <unistd.h>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

constexpr int kOk = 0;
constexpr int kBadArgument = 2;
constexpr int kNoTarget = 3;
constexpr int kSaveFailed = 4;

using BatchFailure = E2eTest;
using Files = std::vector<std::string>;

TEST_F(BatchFailure, HwndThatIsNotA32BitNumberIsABadArgument) {
  for (const std::string value : {"abc", "12abc", "99999999999", "-99999999999"}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(Run({"/HWND=" + value, "/SAVE=out.jpg"}), kBadArgument);
  }
  EXPECT_EQ(ListDir(out_->path()), Files{});
}

TEST_F(BatchFailure, NothingToCaptureEndsWithNoTargetAndWritesNothing) {
  EXPECT_EQ(Run({"/HWND=123456789", "/SAVE=out.jpg"}), kNoTarget);
  EXPECT_EQ(Run({"/WINDOWTEXT=" + UniqueTitle("no window has this caption"), "/SAVE=out.bmp"}), kNoTarget);
  EXPECT_EQ(Run({"/SAVE=out.jpg"}), kNoTarget);
  EXPECT_EQ(Run({"/hwnd=", "/windowtext=", "/save=out.jpg"}), kNoTarget);
  EXPECT_EQ(ListDir(out_->path()), Files{});
}

TEST_F(BatchFailure, HandleOfAWindowThatJustClosed) {
  Xterm window(UniqueTitle("closing"));
  const std::string hwnd = "/HWND=" + std::to_string(window.id());
  window.Kill();
  EXPECT_EQ(Run({hwnd, "/SAVE=gone.jpg"}), kNoTarget);
  EXPECT_EQ(ListDir(out_->path()), Files{});
}

TEST_F(BatchFailure, HugeCaptionIsJustNotFound) {
  EXPECT_EQ(Run({"/WINDOWTEXT=" + std::string(100000, 'x'), "/SAVE=big.jpg"}), kNoTarget);
  EXPECT_EQ(ListDir(out_->path()), Files{});
}

TEST_F(BatchFailure, EmptySaveNameCapturesAndWritesNothing) {
  EXPECT_EQ(Run({"/SCREEN", "/SAVE="}), kOk);
  EXPECT_EQ(Run({"/SAVE=", "/SCREEN"}), kOk);
  EXPECT_EQ(ListDir(out_->path()), Files{});
}

TEST_F(BatchFailure, MissingFolderIsASaveFailureAndCreatesNothing) {
  for (const std::string name : {"out.jpg", "out.bmp"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + (out_->path() / "missing" / name).string()}), kSaveFailed);
  }
  EXPECT_EQ(ListDir(out_->path()), Files{});
}

TEST_F(BatchFailure, DirectoryInPlaceOfTheFileIsLeftAlone) {
  for (const std::string name : {"taken.jpg", "taken.bmp"}) {
    SCOPED_TRACE(name);
    const fs::path dir = out_->path() / name;
    fs::create_directory(dir);
    WriteFile(dir / "inside", "keep me");
    EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + dir.string()}), kSaveFailed);
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_EQ(ListDir(dir), Files{"inside"});
    EXPECT_EQ(ReadFile(dir / "inside"), "keep me");
  }
  EXPECT_EQ(ListDir(out_->path()), (Files{"taken.bmp", "taken.jpg"}));
}

// A write that runs out of room half-way (here: the file-size limit, which
// binds root too) must leave the old file as it was and no temporary file.
TEST_F(BatchFailure, FailedOverwriteKeepsTheOldFileByteForByte) {
  const std::string old = "the picture of an earlier run\n";
  for (const std::string name : {"old.jpg", "old.bmp"}) {
    SCOPED_TRACE(name);
    const fs::path file = out_->path() / name;
    WriteFile(file, old);
    EXPECT_EQ(RunGlimmet({"/SCREEN", "/SAVE=" + file.string()}, {out_->path(), config_->path(), 16384}),
              kSaveFailed);
    EXPECT_EQ(ReadFile(file), old);
  }
  EXPECT_EQ(ListDir(out_->path()), (Files{"old.bmp", "old.jpg"}));
}

TEST_F(BatchFailure, UnwritableFolderKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  const fs::path dir = out_->path() / "locked";
  fs::create_directory(dir);
  WriteFile(dir / "shot.jpg", "old");
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + (dir / "shot.jpg").string()}), kSaveFailed);
  EXPECT_EQ(ReadFile(dir / "shot.jpg"), "old");
  EXPECT_EQ(ListDir(dir), Files{"shot.jpg"});
}

}  // namespace
}  // namespace e2e
