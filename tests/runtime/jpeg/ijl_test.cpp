#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "runtime/jpeg/ijl.h"
#include "runtime/jpeg/jpeg_check.h"
#include "runtime/jpeg/jpeg_encoder.h"

using namespace runtime;
using jpegcheck::Decode;
using jpegcheck::Psnr;

namespace {

// A picture in memory the way a DIB holds it (BGR rows, junk in the pad
// bytes), and the same picture as top-down RGB to compare decodes with.
struct Source {
  int width = 0, height = 0, pad = 0;
  bool bottomUp = true;
  std::vector<std::uint8_t> rgb, memory;

  Source(int w, int h, int padBytes, bool bottomUpRows)
      : width(w), height(h), pad(padBytes), bottomUp(bottomUpRows), rgb(jpegcheck::SmoothRgb(w, h)) {
    memory.assign(Stride() * h, 0xEE);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c)
          memory[Stride() * (bottomUp ? h - 1 - y : y) + 3 * x + c] = rgb[(std::size_t(y) * w + x) * 3 + 2 - c];
  }
  std::size_t Stride() const { return std::size_t(width) * 3 + pad; }
  jpeg::Image Image() const {
    const auto stride = static_cast<std::ptrdiff_t>(Stride());
    return {memory.data() + (bottomUp ? stride * (height - 1) : 0), bottomUp ? -stride : stride, width, height};
  }
  // A record as a caller fills it after ijlInit.
  JPEG_CORE_PROPERTIES Record(const std::string& file) {
    JPEG_CORE_PROPERTIES p{};
    EXPECT_EQ(ijlInit(&p), IJL_OK);
    p.DIBBytes = memory.data();
    p.DIBWidth = p.JPGWidth = width;
    p.DIBHeight = bottomUp ? -height : height;
    p.JPGHeight = height;
    p.DIBPadBytes = pad;
    p.JPGFile = file.c_str();
    return p;
  }
};

}  // namespace

// Also an uninitialised record; initialising or freeing twice is harmless.
TEST(Ijl, RefusesRecordsItCannotWriteAndTouchesNoFile) {
  JPEG_CORE_PROPERTIES blank{};
  EXPECT_EQ(ijlWrite(&blank, IJL_JFILE_WRITEWHOLEIMAGE), IJL_NOT_INITIALISED);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(ijlInit(&blank), IJL_OK);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(ijlFree(&blank), IJL_OK);
  EXPECT_EQ(ijlWrite(&blank, IJL_JFILE_WRITEWHOLEIMAGE), IJL_NOT_INITIALISED);
  testshell::TempDir dir;
  const std::string file = dir / "out.jpg", missing = dir / "no/such/folder/out.jpg";
  Source s(8, 8, 0, true);
  using P = JPEG_CORE_PROPERTIES&;
  const std::pair<const char*, std::function<void(P)>> cases[] = {
      {"no pixels", [](P p) { p.DIBBytes = nullptr; }},
      {"width 0", [](P p) { p.DIBWidth = p.JPGWidth = 0; }},
      {"height 0", [](P p) { p.DIBHeight = p.JPGHeight = 0; }},
      {"JPG width differs", [](P p) { p.JPGWidth = 9; }},
      {"JPG height differs", [](P p) { p.JPGHeight = 7; }},
      {"negative pad", [](P p) { p.DIBPadBytes = -1; }},
      {"four channels", [](P p) { p.DIBChannels = 4; }},
      {"too wide", [](P p) { p.DIBWidth = p.JPGWidth = 70000; }},
      {"no file name", [](P p) { p.JPGFile = nullptr; }},
      {"empty file name", [](P p) { p.JPGFile = ""; }},
  };
  for (const auto& [what, spoil] : cases) {
    SCOPED_TRACE(what);
    JPEG_CORE_PROPERTIES p = s.Record(file);
    spoil(p);
    EXPECT_LT(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), 0);
    EXPECT_EQ(ijlFree(&p), IJL_OK);
  }
  JPEG_CORE_PROPERTIES p = s.Record(file);
  EXPECT_LT(ijlWrite(&p, 1), 0);  // another mode
  ijlFree(&p);
  p = s.Record(missing);
  EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_FILE_OPEN_ERROR);
  ijlFree(&p);
  EXPECT_TRUE(dir.Names().empty());
}

// Rows either way up with pad bytes, quality outside 1..100 clamped rather
// than refused, and a full HD picture on all cores.
TEST(Ijl, WritesPicturesTheRightWayUpAtTheClampedQuality) {
  testshell::TempDir dir;
  struct Case {
    int width, height, pad;
    bool bottomUp;
    int quality, tableQuality;
  };
  for (const Case& c : {Case{203, 117, 3, true, 80, 80}, Case{203, 117, 3, false, 80, 80}, Case{32, 32, 0, true, 0, 1},
                        Case{32, 32, 0, true, 150, 100}, Case{1920, 1080, 0, true, 80, 80}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << (c.bottomUp ? " bottom-up" : " top-down")
                                    << " quality " << c.quality);
    Source s(c.width, c.height, c.pad, c.bottomUp);
    const std::string file = dir / "out.jpg";
    JPEG_CORE_PROPERTIES p = s.Record(file);
    p.jquality = c.quality;
    ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
    ijlFree(&p);
    const jpegcheck::Decoded d = jpegcheck::ExpectJpeg(file, c.width, c.height, c.tableQuality);
    if (c.quality == 80) { EXPECT_GT(Psnr(d.rgb, s.rgb), 35); }
  }
}

// Strips joined with restart markers must decode to exactly the pixels of
// one strip: the cut changes only where the entropy coder restarts. And
// ImageMagick must read them cleanly too.
TEST(JpegStrips, JoinedStripsDecodeExactlyLikeOneStrip) {
  testshell::TempDir dir;
  struct Case {
    int width, height, strips;
  };
  for (const Case& c : {Case{1, 1, 4}, Case{17, 33, 3}, Case{16, 16, 2}, Case{31, 300, 12}, Case{5, 170, 11},
                        Case{1921, 1081, 2}, Case{1921, 1081, 9}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " in " << c.strips);
    const Source s(c.width, c.height, (4 - c.width * 3 % 4) % 4, true);
    jpeg::EncodedJpeg one, many;
    ASSERT_EQ(jpeg::Encode(s.Image(), {80, IJL_420, 1}, one), IJL_OK);
    ASSERT_EQ(jpeg::Encode(s.Image(), {80, IJL_420, c.strips}, many), IJL_OK);
    const std::vector<std::uint8_t> bytes = many.Bytes(), single = one.Bytes();
    ASSERT_EQ(bytes.size(), many.Size());

    const int rows = jpeg::StripRows(c.width, c.height, IJL_420, c.strips);
    const int strips = (c.height + rows - 1) / rows;
    EXPECT_EQ(many.Strips(), strips);
    const jpegcheck::Decoded a = Decode({single.begin(), single.end()}), b = Decode({bytes.begin(), bytes.end()});
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(std::make_tuple(b.warnings, b.width, b.height), std::make_tuple(0, c.width, c.height));
    EXPECT_TRUE(a.rgb == b.rgb);
    if (c.width >= 16) { EXPECT_GT(Psnr(b.rgb, s.rgb), 35); }  // narrower gradients are too steep for 4:2:0

    // One RSTn between neighbouring strips, n counting 0..7 round, and a
    // restart interval of one strip's MCUs.
    std::vector<int> restarts;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
      if (bytes[i] == 0xFF && bytes[i + 1] >= 0xD0 && bytes[i + 1] <= 0xD7) restarts.push_back(bytes[i + 1]);
    ASSERT_EQ(restarts.size(), static_cast<std::size_t>(strips - 1));
    for (std::size_t i = 0; i < restarts.size(); ++i) EXPECT_EQ(restarts[i], 0xD0 + int(i % 8));
    if (strips > 1) { EXPECT_EQ(b.restartInterval, static_cast<unsigned>((c.width + 15) / 16 * (rows / 16))); }
    if (c.strips == 9) {
      ASSERT_EQ(strips, 9);
      testshell::WriteFile(dir / "strips.jpg", {bytes.begin(), bytes.end()});
      jpegcheck::ExpectJpeg(dir / "strips.jpg", c.width, c.height);
      const std::string magick = testshell::Shell("convert -regard-warnings " + dir / "strips.jpg" + " -depth 8 rgb:-");
      EXPECT_GT(Psnr(magick, s.rgb), 35);
    }
  }
}

TEST(JpegStrips, RowsAreWholeMcuRowsAndKeepTheRestartIntervalIn16Bits) {
  EXPECT_EQ(jpeg::StripRows(1920, 1080, IJL_420, 1), 1080);
  EXPECT_EQ(jpeg::StripRows(1920, 1080, IJL_420, 2), 544);
  EXPECT_EQ(jpeg::StripRows(1920, 100, IJL_420, 0), 100);  // small pictures stay in one piece
  for (const int sampling : {IJL_420, IJL_422, IJL_NONE}) {
    const int rows = jpeg::StripRows(65500, 20000, sampling, 2);
    const int mcuWidth = sampling == IJL_NONE ? 8 : 16, mcuHeight = sampling == IJL_420 ? 16 : 8;
    EXPECT_EQ(rows % 16, 0);
    EXPECT_LE((65500 + mcuWidth - 1) / mcuWidth * (rows / mcuHeight), 65535);
  }
}
