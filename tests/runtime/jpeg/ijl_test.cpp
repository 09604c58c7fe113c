#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "runtime/jpeg/ijl.h"
#include "runtime/jpeg/jpeg_check.h"
#include "runtime/jpeg/jpeg_encoder.h"

using namespace runtime;
using jpegcheck::Decode;
using jpegcheck::DecodeFile;
using jpegcheck::Psnr;

namespace {

// A picture in memory the way a DIB holds it, and the same picture as
// top-down RGB to compare decoded files with.
struct Source {
  int width = 0, height = 0, pad = 0;
  bool bottomUp = true;
  std::vector<std::uint8_t> memory;
  std::vector<std::uint8_t> rgb;
};

// Smooth gradients with a few flat panels: like a desktop, and far from
// symmetric, so a flipped or shifted decode shows.
void Colour(int x, int y, int w, int h, std::uint8_t out[3]) {
  if ((x / 64 + y / 48) % 5 == 0) {
    out[0] = 200, out[1] = 40, out[2] = 90;
    return;
  }
  out[0] = static_cast<std::uint8_t>(255 * x / std::max(w - 1, 1));
  out[1] = static_cast<std::uint8_t>(255 * y / std::max(h - 1, 1));
  out[2] = static_cast<std::uint8_t>(128 + 100 * std::sin(x / 23.0) * std::cos(y / 17.0));
}

Source MakeSource(int width, int height, int pad, bool bottomUp) {
  Source s{width, height, pad, bottomUp, {}, {}};
  const std::size_t stride = static_cast<std::size_t>(width) * 3 + pad;
  s.memory.assign(stride * height, 0xEE);  // pad bytes hold junk, as they may in a DIB
  s.rgb.resize(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = s.memory.data() + stride * (bottomUp ? height - 1 - y : y);
    for (int x = 0; x < width; ++x) {
      std::uint8_t c[3];
      Colour(x, y, width, height, c);
      row[3 * x] = c[2], row[3 * x + 1] = c[1], row[3 * x + 2] = c[0];
      std::copy(c, c + 3, s.rgb.begin() + (static_cast<std::size_t>(y) * width + x) * 3);
    }
  }
  return s;
}

jpeg::Image ImageOf(const Source& s) {
  const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(s.width) * 3 + s.pad;
  jpeg::Image image;
  image.width = s.width;
  image.height = s.height;
  image.top = s.memory.data() + (s.bottomUp ? stride * (s.height - 1) : 0);
  image.step = s.bottomUp ? -stride : stride;
  return image;
}

// A record as a caller fills it after ijlInit.
JPEG_CORE_PROPERTIES Record(Source& s, const std::string& file) {
  JPEG_CORE_PROPERTIES p{};
  EXPECT_EQ(ijlInit(&p), IJL_OK);
  p.DIBBytes = s.memory.data();
  p.DIBWidth = s.width;
  p.DIBHeight = s.bottomUp ? -s.height : s.height;
  p.DIBPadBytes = s.pad;
  p.JPGFile = file.c_str();
  p.JPGWidth = s.width;
  p.JPGHeight = s.height;
  return p;
}

}  // namespace

TEST(Ijl, WriteNeedsAnInitialisedRecordAndFreeIsRepeatable) {
  JPEG_CORE_PROPERTIES p{};
  EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_NOT_INITIALISED);
  ASSERT_EQ(ijlInit(&p), IJL_OK);
  ASSERT_EQ(ijlInit(&p), IJL_OK);  // again, without leaking the first
  EXPECT_EQ(ijlFree(&p), IJL_OK);
  EXPECT_EQ(ijlFree(&p), IJL_OK);
  EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_NOT_INITIALISED);
}

TEST(Ijl, RefusesRecordsItCannotWriteAndTouchesNoFile) {
  jpegcheck::TempDir dir;
  const std::string file = dir / "out.jpg";
  const std::string missing = dir / "no/such/folder/out.jpg";
  Source s = MakeSource(8, 8, 0, true);
  struct Case {
    const char* what;
    void (*spoil)(JPEG_CORE_PROPERTIES&, const std::string&);
    int mode;
  };
  const Case cases[] = {
      {"no pixels", [](JPEG_CORE_PROPERTIES& p, const std::string&) { p.DIBBytes = nullptr; }, 8},
      {"width 0", [](JPEG_CORE_PROPERTIES& p, const std::string&) { p.DIBWidth = p.JPGWidth = 0; }, 8},
      {"height 0", [](JPEG_CORE_PROPERTIES& p, const std::string&) { p.DIBHeight = p.JPGHeight = 0; }, 8},
      {"JPG width differs", [](JPEG_CORE_PROPERTIES& p, const std::string&) { p.JPGWidth = 9; }, 8},
      {"JPG height differs", [](JPEG_CORE_PROPERTIES& p, const std::string&) { p.JPGHeight = 7; }, 8},
      {"negative pad", [](JPEG_CORE_PROPERTIES& p, const std::string&) { p.DIBPadBytes = -1; }, 8},
      {"four channels", [](JPEG_CORE_PROPERTIES& p, const std::string&) { p.DIBChannels = 4; }, 8},
      {"too wide", [](JPEG_CORE_PROPERTIES& p, const std::string&) { p.DIBWidth = p.JPGWidth = 70000; }, 8},
      {"no file name", [](JPEG_CORE_PROPERTIES& p, const std::string&) { p.JPGFile = nullptr; }, 8},
      {"empty file name", [](JPEG_CORE_PROPERTIES& p, const std::string&) { p.JPGFile = ""; }, 8},
      {"other mode", [](JPEG_CORE_PROPERTIES&, const std::string&) {}, 1},
      {"missing folder", [](JPEG_CORE_PROPERTIES& p, const std::string& m) { p.JPGFile = m.c_str(); }, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    JPEG_CORE_PROPERTIES p = Record(s, file);
    c.spoil(p, missing);
    EXPECT_LT(ijlWrite(&p, c.mode), 0);
    EXPECT_EQ(ijlFree(&p), IJL_OK);
    EXPECT_TRUE(dir.Names().empty());
  }
  JPEG_CORE_PROPERTIES p = Record(s, missing);
  EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_FILE_OPEN_ERROR);
  ijlFree(&p);
}

TEST(Ijl, WritesBottomUpAndTopDownRowsWithPaddingTheRightWayUp) {
  jpegcheck::TempDir dir;
  for (const bool bottomUp : {true, false}) {
    SCOPED_TRACE(bottomUp ? "bottom-up" : "top-down");
    Source s = MakeSource(203, 117, 3, bottomUp);
    const std::string file = dir / "pad.jpg";
    JPEG_CORE_PROPERTIES p = Record(s, file);
    p.jquality = 80;
    ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
    ijlFree(&p);

    const jpegcheck::Decoded d = DecodeFile(file);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.warnings, 0);
    EXPECT_EQ(d.width, 203);
    EXPECT_EQ(d.height, 117);
    EXPECT_EQ(d.components, 3);
    EXPECT_EQ((std::vector<int>{d.h[0], d.v[0], d.h[1], d.v[1], d.h[2], d.v[2]}),
              (std::vector<int>{2, 2, 1, 1, 1, 1}));
    EXPECT_EQ(std::vector<std::uint16_t>(d.luma, d.luma + 64), jpegcheck::LumaTable(80));
    EXPECT_GT(Psnr(d.rgb, s.rgb), 35);
    EXPECT_EQ(jpegcheck::Identify(file), "203 117 sRGB 2x2,1x1,1x1");
  }
}

TEST(Ijl, QualityOutsideOneToHundredIsClampedNotRefused) {
  jpegcheck::TempDir dir;
  Source s = MakeSource(32, 32, 0, true);
  for (const int quality : {0, 150}) {
    SCOPED_TRACE(quality);
    const std::string file = dir / "q.jpg";
    JPEG_CORE_PROPERTIES p = Record(s, file);
    p.jquality = quality;
    ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
    ijlFree(&p);
    const jpegcheck::Decoded d = DecodeFile(file);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(std::vector<std::uint16_t>(d.luma, d.luma + 64), jpegcheck::LumaTable(quality == 0 ? 1 : 100));
  }
}

// Strips joined with restart markers must decode to exactly the pixels of
// one strip: the cut changes only where the entropy coder restarts.
TEST(JpegStrips, JoinedStripsDecodeExactlyLikeOneStrip) {
  struct Case {
    int width, height, strips;
  };
  const Case cases[] = {{1, 1, 4},    {17, 33, 3},   {16, 16, 2},   {31, 300, 12},
                        {5, 170, 11}, {1921, 1081, 2}, {1921, 1081, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " in " << c.strips);
    const Source s = MakeSource(c.width, c.height, (4 - c.width * 3 % 4) % 4, true);
    jpeg::EncodedJpeg one, many;
    ASSERT_EQ(jpeg::Encode(ImageOf(s), {80, IJL_420, 1}, one), IJL_OK);
    ASSERT_EQ(jpeg::Encode(ImageOf(s), {80, IJL_420, c.strips}, many), IJL_OK);
    const std::vector<std::uint8_t> bytes = many.Bytes();
    ASSERT_EQ(bytes.size(), many.Size());

    const int rows = jpeg::StripRows(c.width, c.height, IJL_420, c.strips);
    const int strips = (c.height + rows - 1) / rows;
    EXPECT_EQ(many.Strips(), strips);
    const jpegcheck::Decoded a = Decode(one.Bytes()), b = Decode(bytes);
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(b.warnings, 0);
    EXPECT_EQ(b.width, c.width);
    EXPECT_EQ(b.height, c.height);
    EXPECT_TRUE(a.rgb == b.rgb);
    if (c.width >= 16) {  // narrower gradients are too steep for 4:2:0
      EXPECT_GT(Psnr(b.rgb, s.rgb), 35);
    }

    // One RSTn between neighbouring strips, n counting 0..7 round, and a
    // restart interval of one strip's MCUs.
    std::vector<std::uint8_t> restarts;
    for (std::uint8_t m : jpegcheck::Markers(bytes))
      if (m >= 0xD0 && m <= 0xD7) restarts.push_back(m);
    ASSERT_EQ(restarts.size(), static_cast<std::size_t>(strips - 1));
    for (std::size_t i = 0; i < restarts.size(); ++i) EXPECT_EQ(restarts[i], 0xD0 + i % 8);
    if (strips > 1) {
      EXPECT_EQ(b.restartInterval, static_cast<unsigned>((c.width + 15) / 16 * (rows / 16)));
    }
  }
}

TEST(JpegStrips, ImageMagickReadsJoinedStripsCleanly) {
  jpegcheck::TempDir dir;
  const Source s = MakeSource(1921, 1081, 1, true);
  jpeg::EncodedJpeg many;
  ASSERT_EQ(jpeg::Encode(ImageOf(s), {80, IJL_420, 9}, many), IJL_OK);
  ASSERT_EQ(many.Strips(), 9);
  const std::string file = dir / "strips.jpg";
  {
    std::ofstream out(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes = many.Bytes();
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  EXPECT_EQ(jpegcheck::Identify(file), "1921 1081 sRGB 2x2,1x1,1x1");
  EXPECT_GT(Psnr(jpegcheck::MagickPixels(file), s.rgb), 35);
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

TEST(Ijl, FullHdPictureOnAllCoresDecodesCleanly) {
  jpegcheck::TempDir dir;
  Source s = MakeSource(1920, 1080, 0, true);
  const std::string file = dir / "screen.jpg";
  JPEG_CORE_PROPERTIES p = Record(s, file);
  p.jquality = 80;
  ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
  ijlFree(&p);
  const jpegcheck::Decoded d = DecodeFile(file);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.warnings, 0);
  EXPECT_GT(Psnr(d.rgb, s.rgb), 35);
  EXPECT_EQ(jpegcheck::Identify(file), "1920 1080 sRGB 2x2,1x1,1x1");
}
