// Batch runs that cannot capture or cannot write: the exit status tells the
// script why and nothing is written.
#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using BatchFailure = E2eTest;

TEST_F(BatchFailure, BadHandleOrNothingToCaptureWritesNothing) {
  auto window = Term(UniqueTitle("closing"));
  const std::string closed = "/HWND=" + Id(window.id());
  window.Close();
  const std::pair<Files, int> cases[] = {
      {{"/HWND=12abc", "/SAVE=out.jpg"}, kBadArgument},
      {{"/HWND=-99999999999", "/SAVE=out.jpg"}, kBadArgument},
      {{"/HWND=123456789", "/SAVE=out.jpg"}, kNoTarget},
      {{closed, "/SAVE=gone.jpg"}, kNoTarget},
      {{"/WINDOWTEXT=" + std::string(100000, 'x'), "/SAVE=big.jpg"}, kNoTarget},
      {{"/SAVE=out.jpg"}, kNoTarget},
      {{"/hwnd=", "/windowtext=", "/save=out.jpg"}, kNoTarget},
      {{"/SAVE=", "/SCREEN"}, kOk},  // an empty name: the capture runs, nothing is written
  };
  for (const auto& [args, status] : cases) EXPECT_EQ(Run(args), status) << args[0].substr(0, 40);
  EXPECT_EQ(out.Names(), Files{});
}

// Captions and paths come from whoever wrote the command line: echoed in
// the reason, they must neither break its line nor drive the terminal.
TEST_F(BatchFailure, ReasonsShowControlCharactersEscapedOnOneLine) {
  RunResult r = RunErr({"/WINDOWTEXT=evil\ncaption\x1b[2J\x7f\x9b", "/SAVE=x.jpg"});
  EXPECT_EQ(r.status, kNoTarget);
  EXPECT_EQ(r.err, "glimmet: no window with the caption \"evil\\ncaption\\x1b[2J\\x7f\\x9b\"\n");
  r = RunErr({"/SCREEN", "/SAVE=missing/\r\t\u00e9\xc2\x85.jpg"});
  EXPECT_EQ(r.status, kSaveFailed);
  EXPECT_EQ(Lines(r.err), 1u) << r.err;
  EXPECT_NE(r.err.find("missing/\\r\\t\u00e9\\xc2\\x85.jpg"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace e2e
