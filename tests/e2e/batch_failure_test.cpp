// Batch runs that cannot capture or cannot write: the exit status tells the
// script why, nothing partial is left behind, and the run never hangs.
#include <unistd.h>

#include <algorithm>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

constexpr int kOk = 0;
constexpr int kBadArgument = 2;
constexpr int kNoTarget = 3;
constexpr int kSaveFailed = 4;

using BatchFailure = E2eTest;
using Files = std::vector<std::string>;

TEST_F(BatchFailure, BadHandleOrNothingToCaptureWritesNothing) {
  for (const std::string value : {"abc", "12abc", "99999999999", "-99999999999"}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(Run({"/HWND=" + value, "/SAVE=out.jpg"}), kBadArgument);
  }
  EXPECT_EQ(Run({"/HWND=123456789", "/SAVE=out.jpg"}), kNoTarget);
  EXPECT_EQ(Run({"/WINDOWTEXT=" + UniqueTitle("no window has this caption"), "/SAVE=out.bmp"}), kNoTarget);
  EXPECT_EQ(Run({"/WINDOWTEXT=" + std::string(100000, 'x'), "/SAVE=big.jpg"}), kNoTarget);
  EXPECT_EQ(Run({"/SAVE=out.jpg"}), kNoTarget);
  EXPECT_EQ(Run({"/hwnd=", "/windowtext=", "/save=out.jpg"}), kNoTarget);
  // An empty name: the capture runs, nothing is written.
  EXPECT_EQ(Run({"/SCREEN", "/SAVE="}), kOk);
  EXPECT_EQ(Run({"/SAVE=", "/SCREEN"}), kOk);
  EXPECT_EQ(out.Names(), Files{});
}

TEST_F(BatchFailure, HandleOfAWindowThatJustClosed) {
  auto window = Term(UniqueTitle("closing"));
  const std::string hwnd = "/HWND=" + std::to_string(window.id());
  window.Close();
  EXPECT_EQ(Run({hwnd, "/SAVE=gone.jpg"}), kNoTarget);
  EXPECT_EQ(out.Names(), Files{});
}

TEST_F(BatchFailure, MissingFolderOrADirectoryInPlaceOfTheFileIsASaveFailure) {
  for (const std::string name : {"taken.jpg", "taken.bmp"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + out / "missing" + "/" + name}), kSaveFailed);
    const std::string dir = out / name;
    std::filesystem::create_directory(dir);
    WriteFile(dir + "/inside", "keep me");
    EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + dir}), kSaveFailed);
    EXPECT_EQ(ListDir(dir), Files{"inside"});
    EXPECT_EQ(ReadFile(dir + "/inside"), "keep me");
  }
  EXPECT_EQ(out.Names(), (Files{"taken.bmp", "taken.jpg"}));
}

// A write that runs out of room half-way (here: the file-size limit, which
// binds root too) must leave the old file as it was and no temporary file.
TEST_F(BatchFailure, FailedOverwriteKeepsTheOldFileByteForByte) {
  const std::string old = "the picture of an earlier run\n";
  for (const std::string name : {"old.jpg", "old.bmp"}) {
    SCOPED_TRACE(name);
    WriteFile(out / name, old);
    EXPECT_EQ(RunGlimmet({"/SCREEN", "/SAVE=" + out / name}, out.path, config.path, 16384), kSaveFailed);
    EXPECT_EQ(ReadFile(out / name), old);
  }
  EXPECT_EQ(out.Names(), (Files{"old.bmp", "old.jpg"}));
}

TEST_F(BatchFailure, UnwritableFolderKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  const std::string dir = out / "locked";
  std::filesystem::create_directory(dir);
  WriteFile(dir + "/shot.jpg", "old");
  std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + dir + "/shot.jpg"}), kSaveFailed);
  EXPECT_EQ(ReadFile(dir + "/shot.jpg"), "old");
  EXPECT_EQ(ListDir(dir), Files{"shot.jpg"});
}

// Captions and paths come from whoever wrote the command line: echoed in
// the reason, they must neither break its line nor drive the terminal.
TEST_F(BatchFailure, ReasonsShowControlCharactersEscapedOnOneLine) {
  const std::string caption = "evil\ncaption\x1b[2J\x7f\x9b";
  RunResult r = RunGlimmetWith({"/WINDOWTEXT=" + caption, "/SAVE=x.jpg"}, out.path, config.path);
  EXPECT_EQ(r.status, kNoTarget);
  EXPECT_EQ(r.err, "glimmet: no window with the caption \"evil\\ncaption\\x1b[2J\\x7f\\x9b\"\n");
  r = RunGlimmetWith({"/SCREEN", "/SAVE=missing/\r\t\u00e9\xc2\x85.jpg"}, out.path, config.path);
  EXPECT_EQ(r.status, kSaveFailed);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_NE(r.err.find("missing/\\r\\t\u00e9\\xc2\\x85.jpg"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace e2e
