// Copies that reach beyond their source, and picture-box surfaces that grow.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "runtime/forms.h"
#include "runtime/gdi.h"

namespace runtime {
namespace {

std::uint32_t Pixel(const Bitmap& b, int x, int y) {
  std::uint32_t p;
  std::memcpy(&p, b.Row(y) + x * 4, 4);
  return p & 0xFFFFFF;
}

HDC DcWith(HBITMAP bitmap, std::uint32_t fill) {
  Bitmap* b = BitmapOf(bitmap);
  b->Allocate();
  for (int y = 0; y < b->height; ++y)
    for (int x = 0; x < b->width; ++x) std::memcpy(b->Row(y) + x * 4, &fill, 4);
  HDC dc = CreateCompatibleDC(0);
  SelectObject(dc, bitmap);
  return dc;
}

TEST(Surfaces, ACopyReachingBeyondItsSourceIsBlackThereAndExactInside) {
  HBITMAP src = CreateCompatibleBitmap(0, 4, 4), dst = CreateCompatibleBitmap(0, 8, 8);
  HDC s = DcWith(src, 0x123456), d = DcWith(dst, 0xFFFFFF);
  // A 6 x 6 rectangle from (-2, -2): a two-pixel black margin, then the source.
  ASSERT_TRUE(BitBlt(d, 1, 1, 6, 6, s, -2, -2, SRCCOPY));
  const Bitmap& out = *BitmapOf(dst);
  // Outside the rectangle untouched, the margin black, then the source.
  const std::tuple<int, int, std::uint32_t> want[] = {{0, 0, 0xFFFFFF}, {1, 1, 0}, {2, 5, 0}, {3, 3, 0x123456}, {6, 6, 0x123456}};
  for (const auto& [x, y, pixel] : want) EXPECT_EQ(Pixel(out, x, y), pixel) << x << "," << y;
  // Wholly outside, and far off (no overflow, no read outside the buffer).
  ASSERT_TRUE(BitBlt(d, 0, 0, 8, 8, s, 1000000, -1000000, SRCCOPY));
  EXPECT_EQ(Pixel(out, 7, 7), 0u);
  for (HDC dc : {s, d}) DeleteDC(dc);
  for (HBITMAP b : {src, dst}) DeleteObject(b);
}

TEST(Surfaces, APictureBoxSurfaceGrowsKeepingItsPixelsAndItsDc) {
  Form form("frmSurface");
  PictureBox box("pic", &form);
  box.BorderStyle = 0;
  box.SetScaleMode(ScaleMode::Pixels);
  box.Move(0, 0, 4 * 15, 4 * 15);
  const HDC dc = box.hDC();
  HBITMAP red = CreateCompatibleBitmap(0, 4, 4);
  HDC r = DcWith(red, 0x0000FF);
  BitBlt(dc, 0, 0, 4, 4, r, 0, 0, SRCCOPY);
  box.Move(-15, -15, 10 * 15, 6 * 15);
  EXPECT_EQ(box.hDC(), dc);
  ASSERT_NE(box.Surface(), nullptr);
  EXPECT_EQ(std::make_pair(box.Surface()->width, box.Surface()->height), std::make_pair(10, 6));
  EXPECT_EQ(Pixel(*box.Surface(), 3, 3), 0x0000FFu);
  BitBlt(dc, 8, 5, 1, 1, r, 0, 0, SRCCOPY);  // the old DC draws on the new surface
  EXPECT_EQ(Pixel(*box.Surface(), 8, 5), 0x0000FFu);
  DeleteDC(r);
  DeleteObject(red);
}

}  // namespace
}  // namespace runtime
