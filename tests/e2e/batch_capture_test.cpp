// Batch runs that capture: targets, precedence, file formats and names.
#include "e2e/e2e_support.h"

namespace e2e {
namespace {

constexpr int kOk = 0;

class BatchCapture : public E2eTest {
 protected:
  static void ExpectJpeg(const std::string& file, const Rect& size) { jpegcheck::ExpectJpeg(file, size.width, size.height); }
  // A complete 24-bit BMP of that size with the Windows 3 header.
  static void ExpectBmp(const std::string& file, const Rect& size) {
    EXPECT_EQ(Shell("identify -regard-warnings -format '%m %w %h' " + Quote(file) + " 2>/dev/null"),
              "BMP3 " + std::to_string(size.width) + " " + std::to_string(size.height));
    const std::string bytes = ReadFile(file);
    ASSERT_GT(bytes.size(), 29u);
    EXPECT_EQ(bytes[28], 24) << "bits per pixel";
  }
};

TEST_F(BatchCapture, ScreenGivesQuality80JpegOfTheWholeScreenWhateverTheKeysLetterCase) {
  auto window = Term(UniqueTitle("screen"));
  ASSERT_EQ(Run({"/SCREEN", "/SAVE=shot.jpg"}), kOk);
  ExpectJpeg(out / "shot.jpg", Screen());
  ASSERT_EQ(Run({"/screen", "/save=lower.jpg"}), kOk);
  ExpectJpeg(out / "lower.jpg", Screen());
  ASSERT_EQ(Run({"/Screen", "/sAvE=" + out / "mixed.jpg"}), kOk);
  ExpectJpeg(out / "mixed.jpg", Screen());
  EXPECT_EQ(out.Names(), (std::vector<std::string>{"lower.jpg", "mixed.jpg", "shot.jpg"}));
}

// Precedence: the screen over a handle over a caption.
TEST_F(BatchCapture, WindowTextAndHwndCaptureTheWindowWithItsFrameAndScreenWins) {
  auto small = Term(UniqueTitle("small"), "40x10+300+200");
  auto large = Term(UniqueTitle("large"), "90x30+200+150");
  const Rect smallFrame = FrameRect(small.id()), largeFrame = FrameRect(large.id());
  EXPECT_NE(smallFrame.width, largeFrame.width);
  // The caption is followed by a blank and the next parameter, as scripts write it.
  ASSERT_EQ(Run({"/WINDOWTEXT=" + small.title(), "/SAVE=" + out / "small.jpg"}), kOk);
  ExpectJpeg(out / "small.jpg", smallFrame);
  ASSERT_EQ(Run({"/windowtext=" + large.title(), "/save=large.jpg"}), kOk);
  ExpectJpeg(out / "large.jpg", largeFrame);
  const std::string hwnd = "/HWND=" + std::to_string(large.id()), caption = "/WINDOWTEXT=" + small.title();
  ASSERT_EQ(Run({"/HWND=" + std::to_string(small.id()), "/SAVE=by-handle.jpg"}), kOk);
  ExpectJpeg(out / "by-handle.jpg", smallFrame);
  ASSERT_EQ(Run({caption, hwnd, "/SAVE=handle.bmp"}), kOk);
  ExpectBmp(out / "handle.bmp", largeFrame);
  ASSERT_EQ(Run({caption, hwnd, "/SCREEN", "/SAVE=screen.bmp"}), kOk);
  ExpectBmp(out / "screen.bmp", Screen());
}

TEST_F(BatchCapture, EveryNameButDotJpgGivesBmpUnderExactlyThatName) {
  const std::vector<std::string> names = {"dot.jpg.png", "long.jpeg", "noextension", "plain.bmp", "upper.JPG"};
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Run({"/SCREEN", "/SAVE=" + name}), kOk);
    ExpectBmp(out / name, Screen());
  }
  EXPECT_EQ(out.Names(), names);
}

TEST_F(BatchCapture, BmpOfTheScreenHoldsExactlyTheServersPixels) {
  auto blue = Term(UniqueTitle("blue"), "60x15+50+60", {"-bg", "#2050d0", "-fg", "#ffe020"});
  auto red = Term(UniqueTitle("red"), "60x15+500+300", {"-bg", "#d02040", "-fg", "#20ff80"});
  // The screen must stand still around the capture; retry if something moved.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::string before = x11test::XwdRoot().pixels;
    ASSERT_EQ(Run({"/SCREEN", "/SAVE=" + out / "exact.bmp"}), kOk);
    if (x11test::XwdRoot().pixels != before) continue;
    const std::string captured = Shell("convert " + Quote(out / "exact.bmp") + " -depth 8 rgb:-");
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
  auto latin1 = Term("Grüße " + UniqueTitle("latin1"), "45x12+350+120");
  auto compound = Term("Grüße — ✓ " + UniqueTitle("compound"), "50x14+380+160");
  auto utf8 = Term(UniqueTitle("utf8"), "55x16+410+200");
  const std::string utf8Title = "Grüße — ✓ " + UniqueTitle("utf8");
  Shell("xprop -id " + std::to_string(utf8.id()) + " -f _NET_WM_NAME 8u -set _NET_WM_NAME " + Quote(utf8Title));

  int n = 0;
  for (const auto& [window, title] : {std::pair{&latin1, latin1.title()}, std::pair{&compound, compound.title()},
                                      std::pair{&utf8, utf8Title}}) {
    SCOPED_TRACE(title);
    const std::string file = out / ("Bildschirmfotoäöü" + std::to_string(++n) + ".jpg");
    EXPECT_EQ(Run({"/WINDOWTEXT=" + title, "/SAVE=" + file}), kOk);
    if (std::filesystem::exists(file)) ExpectJpeg(file, FrameRect(window->id()));
  }
}

TEST_F(BatchCapture, WindowPartlyOffScreenGivesFullFrameWithBlackOutside) {
  for (const bool leftEdge : {true, false}) {
    SCOPED_TRACE(leftEdge ? "off the left edge" : "off the right edge");
    auto window = Term(UniqueTitle("offscreen"), "40x10+300+300");
    const int x = leftEdge ? -100 : Screen().width - 100;
    Shell("timeout 10 xdotool windowmove --sync " + std::to_string(window.id()) + " " + std::to_string(x) + " 300");
    const Rect frame = FrameRect(window.id());
    const int outside = leftEdge ? -frame.x : frame.x + frame.width - Screen().width;
    ASSERT_GT(outside, 0) << "the window manager kept the window on screen";

    const std::string file = out / (leftEdge ? "left.bmp" : "right.bmp");
    ASSERT_EQ(Run({"/HWND=" + std::to_string(window.id()), "/SAVE=" + file}), kOk);
    ExpectBmp(file, frame);
    const std::string strip = Shell("convert " + Quote(file) + " -crop 1x" + std::to_string(frame.height) + "+" +
                                    std::to_string(leftEdge ? 0 : frame.width - 1) + "+0 -depth 8 rgb:-");
    ASSERT_EQ(strip.size(), static_cast<size_t>(frame.height) * 3);
    EXPECT_EQ(strip.find_first_not_of('\0'), std::string::npos) << "the off-screen part is not black";
  }
}

}  // namespace
}  // namespace e2e
