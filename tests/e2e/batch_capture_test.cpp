// Batch runs that capture: targets, precedence, file formats and names.
#include <fcntl.h>
#include <sys/stat.h>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

constexpr int kOk = 0;

class BatchCapture : public E2eTest {
 protected:
  Size FrameSize(const Xterm& window) {
    const Rect frame = window.FrameRect();
    return {frame.width, frame.height};
  }

  void ExpectQuality80Jpeg(const fs::path& file, Size size) {
    const auto info = ReadJpegInfo(file);
    ASSERT_TRUE(info) << file << " is not a JPEG file";
    EXPECT_EQ(info->size, size);
    EXPECT_EQ(info->quality, 80);
    EXPECT_EQ(info->sampling, "2x2,1x1,1x1");
    EXPECT_EQ(info->colorspace, "sRGB");
  }

  void ExpectBmp(const fs::path& file, Size size) {
    const auto info = ReadBmpInfo(file);
    ASSERT_TRUE(info) << file << " is not a complete BMP file";
    EXPECT_EQ(info->size, size);
    EXPECT_EQ(info->bitsPerPixel, 24);
  }

  // The RGB bytes of a picture file, or of the live screen for "xwd".
  static std::string Pixels(const std::string& source) {
    if (source == "xwd") return Shell("xwd -root -silent | convert xwd:- -depth 8 rgb:-");
    return Shell("convert " + Quote(source) + " -depth 8 rgb:-");
  }
};

TEST_F(BatchCapture, ScreenGivesQuality80JpegOfTheWholeScreen) {
  Xterm window(UniqueTitle("screen"));
  ASSERT_EQ(Run({"/SCREEN", "/SAVE=shot.jpg"}), kOk);
  ExpectQuality80Jpeg(out_->path() / "shot.jpg", ScreenSize());
  EXPECT_EQ(ListDir(out_->path()), std::vector<std::string>{"shot.jpg"});
}

TEST_F(BatchCapture, KeysAreReadInAnyLetterCase) {
  ASSERT_EQ(Run({"/screen", "/save=lower.jpg"}), kOk);
  ExpectQuality80Jpeg(out_->path() / "lower.jpg", ScreenSize());
  ASSERT_EQ(Run({"/Screen", "/sAvE=" + (out_->path() / "mixed.jpg").string()}), kOk);
  ExpectQuality80Jpeg(out_->path() / "mixed.jpg", ScreenSize());
}

TEST_F(BatchCapture, WindowTextCapturesTheWindowWithItsFrame) {
  Xterm small(UniqueTitle("small"), "40x10+300+200");
  Xterm large(UniqueTitle("large"), "90x30+200+150");
  // The caption is followed by a blank and the next parameter, as scripts write it.
  ASSERT_EQ(Run({"/WINDOWTEXT=" + small.title(), "/SAVE=" + (out_->path() / "small.jpg").string()}), kOk);
  ExpectQuality80Jpeg(out_->path() / "small.jpg", FrameSize(small));
  ASSERT_EQ(Run({"/windowtext=" + large.title(), "/save=large.jpg"}), kOk);
  ExpectQuality80Jpeg(out_->path() / "large.jpg", FrameSize(large));
  EXPECT_NE(FrameSize(small), FrameSize(large));
}

TEST_F(BatchCapture, HwndCapturesTheWindowWithThatDecimalHandle) {
  Xterm window(UniqueTitle("hwnd"), "50x12+250+250");
  ASSERT_EQ(Run({"/HWND=" + std::to_string(window.id()), "/SAVE=by-handle.jpg"}), kOk);
  ExpectQuality80Jpeg(out_->path() / "by-handle.jpg", FrameSize(window));
}

TEST_F(BatchCapture, ScreenWinsOverHwndAndHwndOverWindowText) {
  Xterm byCaption(UniqueTitle("caption"), "30x8+100+100");
  Xterm byHandle(UniqueTitle("handle"), "70x20+400+300");
  const std::string hwnd = "/HWND=" + std::to_string(byHandle.id());
  const std::string caption = "/WINDOWTEXT=" + byCaption.title();

  ASSERT_EQ(Run({caption, hwnd, "/SAVE=handle.bmp"}), kOk);
  ExpectBmp(out_->path() / "handle.bmp", FrameSize(byHandle));
  ASSERT_EQ(Run({caption, hwnd, "/SCREEN", "/SAVE=screen.bmp"}), kOk);
  ExpectBmp(out_->path() / "screen.bmp", ScreenSize());
}

TEST_F(BatchCapture, EveryNameButDotJpgGivesBmpUnderExactlyThatName) {
  const std::vector<std::string> names = {"upper.JPG", "long.jpeg", "plain.bmp", "noextension", "dot.jpg.png"};
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Run({"/SCREEN", "/SAVE=" + name}), kOk);
    ExpectBmp(out_->path() / name, ScreenSize());
  }
  auto expected = names;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListDir(out_->path()), expected);
}

TEST_F(BatchCapture, BmpOfTheScreenHoldsExactlyTheServersPixels) {
  Xterm blue(UniqueTitle("blue"), "60x15+50+60", {"-bg", "#2050d0", "-fg", "#ffe020"});
  Xterm red(UniqueTitle("red"), "60x15+500+300", {"-bg", "#d02040", "-fg", "#20ff80"});
  const std::string file = (out_->path() / "exact.bmp").string();
  // The screen must stand still around the capture; retry if something moved.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::string before = Pixels("xwd");
    ASSERT_EQ(Run({"/SCREEN", "/SAVE=" + file}), kOk);
    if (Pixels("xwd") != before) continue;
    const std::string captured = Pixels(file);
    ASSERT_EQ(captured.size(), before.size());
    EXPECT_TRUE(captured == before) << "the BMP differs from the screen";
    return;
  }
  FAIL() << "the screen never stood still";
}

// Clients label windows three ways: xterm writes WM_NAME as Latin-1 STRING
// when the title fits Latin-1 and as COMPOUND_TEXT when it does not; modern
// toolkits write _NET_WM_NAME as UTF8_STRING.
TEST_F(BatchCapture, NonAsciiCaptionsAndFileName) {
  Xterm latin1("Grüße " + UniqueTitle("latin1"), "45x12+350+120");
  Xterm compound("Grüße — ✓ " + UniqueTitle("compound"), "50x14+380+160");
  Xterm utf8(UniqueTitle("utf8"), "55x16+410+200");
  const std::string utf8Title = "Grüße — ✓ " + UniqueTitle("utf8");
  Shell("xprop -id " + std::to_string(utf8.id()) + " -f _NET_WM_NAME 8u -set _NET_WM_NAME " + Quote(utf8Title));

  int n = 0;
  for (const auto& [window, title] : {std::pair{&latin1, latin1.title()}, std::pair{&compound, compound.title()},
                                      std::pair{&utf8, utf8Title}}) {
    SCOPED_TRACE(title);
    const fs::path file = out_->path() / ("Bildschirmfotoäöü" + std::to_string(++n) + ".jpg");
    EXPECT_EQ(Run({"/WINDOWTEXT=" + title, "/SAVE=" + file.string()}), kOk);
    if (fs::exists(file)) ExpectQuality80Jpeg(file, FrameSize(*window));
  }
}

TEST_F(BatchCapture, WindowPartlyOffScreenGivesFullFrameWithBlackOutside) {
  for (const bool leftEdge : {true, false}) {
    SCOPED_TRACE(leftEdge ? "off the left edge" : "off the right edge");
    Xterm window(UniqueTitle("offscreen"), "40x10+300+300");
    const int x = leftEdge ? -100 : ScreenSize().width - 100;
    Shell("timeout 10 xdotool windowmove --sync " + std::to_string(window.id()) + " " + std::to_string(x) + " 300");
    const Rect frame = window.FrameRect();
    const int outside = leftEdge ? -frame.x : frame.x + frame.width - ScreenSize().width;
    ASSERT_GT(outside, 0) << "the window manager kept the window on screen";

    const fs::path file = out_->path() / (leftEdge ? "left.bmp" : "right.bmp");
    ASSERT_EQ(Run({"/HWND=" + std::to_string(window.id()), "/SAVE=" + file.string()}), kOk);
    ExpectBmp(file, {frame.width, frame.height});
    const int column = leftEdge ? 0 : frame.width - 1;
    const std::string strip = Shell("convert " + Quote(file.string()) + " -crop 1x" +
                                    std::to_string(frame.height) + "+" + std::to_string(column) +
                                    "+0 -depth 8 rgb:-");
    ASSERT_EQ(strip.size(), static_cast<size_t>(frame.height) * 3);
    EXPECT_EQ(strip.find_first_not_of('\0'), std::string::npos) << "the off-screen part is not black";
  }
}

TEST_F(BatchCapture, OverwrittenJpegKeepsItsTimesAndMode) {
  const fs::path file = out_->path() / "again.jpg";
  WriteFile(file, "an older picture");
  ASSERT_EQ(chmod(file.c_str(), 0640), 0);
  const timespec times[2] = {{978350400, 0}, {978350400, 0}};  // 2001-01-01
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

  ASSERT_EQ(Run({"/SCREEN", "/SAVE=" + file.string()}), kOk);
  ExpectQuality80Jpeg(file, ScreenSize());
  struct stat after {};
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_mtim.tv_sec, times[1].tv_sec);
  EXPECT_EQ(ListDir(out_->path()), std::vector<std::string>{"again.jpg"});
}

}  // namespace
}  // namespace e2e
