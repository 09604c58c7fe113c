// Batch runs: targets, precedence, file formats and names; and runs that
// cannot capture, whose exit status tells the script why.
#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using Batch = E2eTest;

// A complete 24-bit BMP of that size with the Windows 3 header.
void ExpectBmp(const std::string& file, const Rect& size) {
  EXPECT_EQ(Shell("identify -regard-warnings -format '%m ' " + Quote(file) + " 2>/dev/null") + PictureSize(file),
            "BMP3 " + Size(size));
  const std::string bytes = ReadFile(file);
  ASSERT_GT(bytes.size(), 29u);
  EXPECT_EQ(bytes[28], 24) << "bits per pixel";
}

// Precedence: the screen over a handle over a caption. Only a name ending
// in exactly ".jpg" gives a JPEG; every other name a BMP under that name.
TEST_F(Batch, TargetsByPrecedenceAndFormatsByName) {
  auto small = Term(UniqueTitle("small"), "40x10+300+200");
  auto large = Term(UniqueTitle("large"), "90x30+200+150");
  const Rect smallFrame = FrameRect(small.id()), largeFrame = FrameRect(large.id());
  ASSERT_NE(smallFrame.width, largeFrame.width);
  const std::string caption = "/WINDOWTEXT=" + small.title(), hwnd = "/HWND=" + Id(large.id());
  ASSERT_EQ(Run({"/Screen", "/sAvE=" + out / "screen.jpg"}), kOk);
  jpegcheck::ExpectJpeg(out / "screen.jpg", Screen().width, Screen().height);
  ASSERT_EQ(Run({caption, "/SAVE=caption.jpg"}), kOk);
  jpegcheck::ExpectJpeg(out / "caption.jpg", smallFrame.width, smallFrame.height);
  ASSERT_EQ(Run({caption, hwnd, "/SAVE=handle.bmp"}), kOk);
  ExpectBmp(out / "handle.bmp", largeFrame);
  const Files bmps = {"dot.jpg.png", "long.jpeg", "noextension", "upper.JPG"};
  for (const auto& name : bmps) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Run({caption, hwnd, "/SCREEN", "/SAVE=" + name}), kOk);
    ExpectBmp(out / name, Screen());
  }
  EXPECT_EQ(out.Names(), (Files{"caption.jpg", "dot.jpg.png", "handle.bmp", "long.jpeg", "noextension", "screen.jpg",
                                "upper.JPG"}));
}

TEST_F(Batch, BadHandleOrNothingToCaptureWritesNothing) {
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
TEST_F(Batch, ReasonsShowControlCharactersEscapedOnOneLine) {
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
