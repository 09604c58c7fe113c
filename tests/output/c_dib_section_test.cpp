#include "output/c_dib_section.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "output/dib_test_pictures.h"
#include "runtime/error.h"

using namespace runtime;
using output::cDIBSection;

namespace {

int ErrorNumber(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.Number;
  }
  return 0;
}

// Whether the DIB holds nothing, and its header's size.
std::tuple<bool, int, int> State(const cDIBSection& dib) {
  return {dib.hdc() == 0 && dib.hDib() == 0 && dib.DIBSectionBitsPtr() == nullptr, dib.Width(), dib.Height()};
}

// A DIB of width x height whose bytes, pad included, are byte(x, memory row y).
std::unique_ptr<cDIBSection> Filled(int width, int height, const std::function<std::uint8_t(int, int)>& byte) {
  auto dib = std::make_unique<cDIBSection>();
  if (!dib->Create(width, height)) return nullptr;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < dib->BytesPerScanLine(); ++x) dib->DIBSectionBitsPtr()[y * dib->BytesPerScanLine() + x] = byte(x, y);
  return dib;
}

std::uint8_t At(const cDIBSection& dib, int x, int y) { return dib.DIBSectionBitsPtr()[y * dib.BytesPerScanLine() + x]; }

std::vector<std::uint8_t> Bytes(const cDIBSection& dib) {
  return {dib.DIBSectionBitsPtr(), dib.DIBSectionBitsPtr() + dib.BytesPerScanLine() * dib.Height()};
}

}  // namespace

TEST(cDIBSection, CreateRoundsRowsToFourBytesRaisesOverflowAndRefusedOrClearedHoldNothing) {
  const std::size_t live = LiveGdiObjects();
  cDIBSection dib;
  EXPECT_EQ(State(dib), std::make_tuple(true, 0, 0));
  const int rows[] = {4, 8, 12, 12, 16, 20, 24, 24};
  for (int width = 1; width <= 8; ++width) {
    ASSERT_TRUE(dib.Create(width, 3));
    EXPECT_EQ(std::make_tuple(dib.BytesPerScanLine(), dib.BitmapInfo().biSizeImage), std::make_tuple(rows[width - 1], 3u * rows[width - 1]));
  }
  dib.ClearUp();
  dib.ClearUp();
  EXPECT_EQ(State(dib), std::make_tuple(true, 8, 3)) << "the header outlives the DIB";
  ASSERT_TRUE(dib.Create(10, 4));
  EXPECT_FALSE(dib.Create(0, 5));  // frees the old DIB, then is refused
  EXPECT_EQ(State(dib), std::make_tuple(true, 0, 5));
  // The widest row that fits: the platform refuses height 0, so only the arithmetic runs.
  EXPECT_FALSE(dib.Create(715827881, 0));
  EXPECT_EQ(dib.BytesPerScanLine(), 2147483644);
  EXPECT_EQ(ErrorNumber([&] { dib.Create(715827882, 0); }), kErrOverflow);   // 3w reaches 2,147,483,645
  EXPECT_EQ(ErrorNumber([&] { dib.Create(-715827883, 1); }), kErrOverflow);  // 3w below the 32-bit range
  EXPECT_EQ(ErrorNumber([&] { dib.Create(1000, 1000000); }), kErrOverflow);  // height x row
  EXPECT_EQ(State(dib), std::make_tuple(true, 1000, 1000000));
  EXPECT_EQ(LiveGdiObjects(), live);
  cDIBSection none;
  none.CreateFromPicture(Picture());
  EXPECT_EQ(State(none), std::make_tuple(true, 0, 0));
}

// The pixels' order (bottom-up, blue first) is checked through the saved
// JPEG and the clipboard; here the header and the temporary DC.
TEST(cDIBSection, CreateFromPictureLeavesNoDcAndNegativeBlitSizesMeanTheDibsOwn) {
  const Picture picture = testpictures::MakePicture(641, 480);
  const std::size_t live = LiveGdiObjects();
  {
    cDIBSection dib;
    dib.CreateFromPicture(picture);
    ASSERT_NE(dib.DIBSectionBitsPtr(), nullptr);
    EXPECT_EQ(std::make_tuple(dib.Width(), dib.Height(), dib.BytesPerScanLine(), dib.BitmapInfo().biBitCount),
              std::make_tuple(641, 480, 1924, 24));
  }
  EXPECT_EQ(LiveGdiObjects(), live);
  EXPECT_NE(BitmapOf(picture.Handle()), nullptr) << "the picture is kept";

  const Picture source = testpictures::MakePicture(20, 10);
  const HDC dc = CreateCompatibleDC(0);
  const HGDIOBJ old = SelectObject(dc, source.Handle());
  cDIBSection dib;
  ASSERT_TRUE(dib.Create(8, 6));
  dib.LoadPictureBlt(dc, 2, 1, -7, -7);
  const HBITMAP target = CreateCompatibleBitmap(0, 20, 10);
  ASSERT_TRUE(BitmapOf(target)->Allocate());
  SelectObject(dc, target);
  dib.PaintPicture(dc, 3, 2, -7, -1);
  SelectObject(dc, old);
  DeleteDC(dc);
  const Bitmap& in = *BitmapOf(source.Handle());
  const std::uint8_t black[4] = {};
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) {
      const bool inside = x >= 3 && x < 11 && y >= 2 && y < 8;
      const std::uint8_t* want = inside ? in.Row(y - 2 + 1) + 4 * (x - 3 + 2) : black;
      ASSERT_EQ(std::vector<int>(BitmapOf(target)->Row(y) + 4 * x, BitmapOf(target)->Row(y) + 4 * x + 3),
                std::vector<int>(want, want + 3)) << x << "," << y;
    }
  DeleteObject(target);
}

TEST(Resample, SameSizeCopiesEveryByteOtherSizesRoundEachStepHalfToEvenAndThinSourcesRaiseSubscript) {
  const auto big = Filled(641, 480, [](int x, int y) { return std::uint8_t(x < 1923 ? x * 13 + y * 7 : 0); });
  const std::vector<std::uint8_t> before = Bytes(*big);
  const auto copy = big->Resample(480, 641);  // height first
  ASSERT_TRUE(copy);
  EXPECT_TRUE(Bytes(*copy) == before);
  EXPECT_TRUE(Bytes(*big) == before) << "the source is not changed";

  // Channel c of pixel p in memory row r >= 1 holds 10 p + r - 1 + 40 c:
  // pixel 1 gives 10/11 in rows 1/2 and pixel 2 gives 20/21.
  const auto source = Filled(4, 4, [](int x, int y) {
    return std::uint8_t(x < 12 ? 10 * (x / 3) + std::max(y - 1, 0) + 40 * (x % 3) : 0xEE);
  });
  const auto small = source->Resample(2, 2);
  ASSERT_TRUE(small);
  EXPECT_EQ(At(*small, 2, 0), 80);  // (0, 0) samples source pixel (0, 0)
  // (1, 1): fx = fy = 0.5: 10.5 -> 10 and 20.5 -> 20, then 15 (not 15.5).
  EXPECT_EQ((std::vector<int>{At(*small, 3, 1), At(*small, 4, 1), At(*small, 5, 1)}), (std::vector<int>{15, 55, 95}));
  EXPECT_EQ(At(*small, 6, 0) | At(*small, 7, 0) | At(*small, 6, 1) | At(*small, 7, 1), 0) << "pad bytes";
  // Changing one side still resamples both: columns step by 2/3.
  const auto tall = Filled(3, 2, [](int x, int) { return std::uint8_t(x < 9 ? (x / 3) * 90 : 0); })->Resample(4, 3);
  EXPECT_EQ(std::make_tuple(At(*tall, 3, 0), At(*tall, 6, 3)), std::make_tuple(60, 120));

  const auto seven = [](int, int) { return std::uint8_t{7}; };
  EXPECT_EQ(ErrorNumber([&] { Filled(1, 10, seven)->Resample(10, 2); }), kErrSubscript);
  EXPECT_TRUE(Filled(1, 10, seven)->Resample(10, 1));
  EXPECT_EQ(ErrorNumber([&] { Filled(10, 1, seven)->Resample(3, 10); }), kErrSubscript);
  EXPECT_EQ(Filled(10, 1, seven)->Resample(0, 5), nullptr);
}

TEST(RandomiseBits, GreyHasEqualChannelsColourHasNoBlueAndThePadStays) {
  const auto dib = Filled(5, 7, [](int x, int) { return std::uint8_t(x >= 15 ? 0xA5 : 0); });
  std::set<int> values;
  for (const bool grey : {true, false}) {
    dib->RandomiseBits(grey);
    for (int y = 0; y < 7; ++y) {
      for (int p = 0; p < 5; ++p) {
        const int b = At(*dib, 3 * p, y), g = At(*dib, 3 * p + 1, y), r = At(*dib, 3 * p + 2, y);
        EXPECT_TRUE(grey ? b == g && g == r : b == 0) << (grey ? "grey" : "colour");
        values.insert(g);
      }
      EXPECT_EQ(At(*dib, 15, y), 0xA5);
    }
  }
  EXPECT_GT(values.size(), 20u) << "noise, not a constant";
}
