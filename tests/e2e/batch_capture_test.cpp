// Batch runs that capture: targets, precedence, file formats and names.
#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using BatchCapture = E2eTest;

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
TEST_F(BatchCapture, TargetsByPrecedenceAndFormatsByName) {
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

}  // namespace
}  // namespace e2e
