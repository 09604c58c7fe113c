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
      {{"/HWND=0x", "/SAVE=out.jpg"}, kBadArgument},
      {{"/HWND=0x80000000", "/SAVE=out.jpg"}, kBadArgument},
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
  r = RunErr({"/SCREEN", "\x1b[2J\nrm", "/SAVE=x.jpg"});
  EXPECT_EQ(r.status, kBadArgument);
  EXPECT_EQ(r.err, "glimmet: \"\\x1b[2J\\nrm\" belongs to no parameter; nothing was captured (glimmet --help lists them)\n");
}

// A script's typo must not pass as success: a word no parameter takes, or
// a /SAVE= without a name, is status 2 with one line naming it, and nothing
// is captured or written. Letters glued to a flag keep its reading.
TEST_F(Batch, WordsThatBelongToNoParameterAreStatusTwoAndCaptureNothing) {
  const std::pair<Files, std::string> refused[] = {
      {{"/SCREEN", "/SAVEE=x.jpg"}, "\"/SAVEE=x.jpg\""},
      {{"shot.jpg", "/SCREEN", "/SAVE=a.jpg"}, "\"shot.jpg\""},
      {{"/SCREEN", "please", "/SAVE=a.jpg"}, "\"please\""},
      {{"/PRINT", "--now", "/SCREEN", "/SAVE=a.jpg"}, "\"--now\""},
      {{"/SAVE=", "/SCREEN"}, "/SAVE= names no file"},
      {{"/SCREEN", "/SAVE=  "}, "/SAVE= names no file"},
      {{"-v"}, "\"-v\""},
      {{"--help", "/SCREEN"}, "\"--help\""},  // asks for a capture, so not for the usage
      {{"--HELP"}, "\"--HELP\""},
  };
  for (const auto& [args, named] : refused) {
    SCOPED_TRACE(args[0] + " " + args[1 % args.size()]);
    // Also without a display: the command line is judged first.
    for (const std::string prefix : {"", "env -u DISPLAY"}) {
      const RunResult r = RunErr(args, prefix);
      EXPECT_EQ(r.status, kBadArgument) << r.err;
      EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
      EXPECT_EQ(Lines(r.err), 1u) << r.err;
    }
  }
  EXPECT_EQ(out.Names(), Files{});

  // Glued letters belong to the flag: /SCREENSHOT is /SCREEN.
  EXPECT_EQ(Run({"/SCREENSHOT", "/SAVE=glued.jpg"}), kOk);
  ExpectScreenJpeg(out / "glued.jpg");
  // A capture asked neither to be saved nor printed succeeds with a warning.
  const RunResult unsaved = RunErr({"/SCREEN"});
  EXPECT_EQ(unsaved.status, kOk);
  EXPECT_EQ(unsaved.err, "glimmet: warning: nothing was saved or printed (give /SAVE= or /PRINT)\n");
  EXPECT_EQ(RunErr({"/SCREEN", "/SAVE=quiet.bmp"}).err, "") << "a run that saves says nothing";
}

// The usage and the version go to standard output with status 0, need no
// display, and leave no installation record.
TEST_F(Batch, HelpAndVersionPrintAndSucceed) {
  for (const char* ask : {"--help", "-h", "/?", "--version", "-V"}) {
    SCOPED_TRACE(ask);
    int status = -1;
    const std::string printed = Shell("cd " + Quote(out.path) + " && env -u DISPLAY XDG_CONFIG_HOME=" +
                                      Quote(config.path) + " " + Quote(GLIMMET_BINARY) + " " + Quote(ask) +
                                      " 2>" + Quote(out / "err"), &status);
    EXPECT_EQ(status, kOk);
    EXPECT_EQ(ReadFile(out / "err"), "");
    std::filesystem::remove(out / "err");
    if (ask[1] == 'V' || ask[2] == 'v') {
      EXPECT_EQ(printed, "glimmet 1.0.2\n");
    } else {
      for (const char* part : {"/WINDOWTEXT=", "/HWND=", "/SCREEN", "/SAVE=", "/PRINT", "after a blank", "Exit status",
                               "  6  ", "Installation.ini"})
        EXPECT_NE(printed.find(part), std::string::npos) << part;
    }
  }
  EXPECT_EQ(FindInstallationRecord(config.path), "");
  EXPECT_EQ(out.Names(), Files{});
  int status = -1;
  Shell(Quote(GLIMMET_BINARY) + " --help >/dev/full 2>/dev/null", &status);
  EXPECT_EQ(status, 1) << "a usage text that could not be written is no success";
}

// Window ids as xwininfo prints them, in hexadecimal, name the same window.
TEST_F(Batch, HandlesInHexadecimalAsXwininfoPrintsThem) {
  auto window = Term(UniqueTitle("hex"), "50x12+260+180");
  const Rect frame = FrameRect(window.id());
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%lx", window.id());
  ASSERT_NE(Shell(std::string("xwininfo -id ") + hex).find(hex), std::string::npos);
  ASSERT_EQ(Run({std::string("/hwnd=") + hex, "/SAVE=hex.bmp"}), kOk);
  EXPECT_EQ(PictureSize(out / "hex.bmp"), Size(frame));
  EXPECT_EQ(Run({"/HWND=" + Id(window.id()) + "x", "/SAVE=bad.bmp"}), kBadArgument);
}

}  // namespace
}  // namespace e2e
