// Reading back the JPEGs we write, with libjpeg and with ImageMagick, to
// check them against the pictures they came from.
#pragma once
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "runtime/linux/shell.h"

namespace jpegcheck {

using testshell::Quote;
using testshell::Shell;

struct Decoded {
  bool ok = false;
  int warnings = 0;  // corrupt-data warnings: a clean file has none
  int width = 0, height = 0;
  std::vector<int> sampling;        // h, v of each component
  std::vector<std::uint16_t> luma;  // luminance quantisation table, natural order
  unsigned restartInterval = 0;
  std::vector<std::uint8_t> rgb;  // top row first, 3 bytes a pixel
};

inline Decoded Decode(const std::string& bytes) {
  struct Error {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
  } err;
  jpeg_decompress_struct cinfo;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<Error*>(c->err)->jump, 1); };
  err.pub.output_message = [](j_common_ptr) {};
  Decoded d;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return {};
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&cinfo, TRUE);
  d.width = static_cast<int>(cinfo.image_width), d.height = static_cast<int>(cinfo.image_height);
  for (int c = 0; c < cinfo.num_components; ++c)
    d.sampling.insert(d.sampling.end(), {cinfo.comp_info[c].h_samp_factor, cinfo.comp_info[c].v_samp_factor});
  if (cinfo.quant_tbl_ptrs[0]) d.luma.assign(cinfo.quant_tbl_ptrs[0]->quantval, cinfo.quant_tbl_ptrs[0]->quantval + 64);
  d.restartInterval = cinfo.restart_interval;
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  d.rgb.resize(static_cast<std::size_t>(d.width) * d.height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = d.rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * d.width * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  d.warnings = static_cast<int>(err.pub.num_warnings), d.ok = true;
  jpeg_destroy_decompress(&cinfo);
  return d;
}

// The standard luminance table scaled for a quality as libjpeg scales it,
// natural order.
inline std::vector<std::uint16_t> LumaTable(int quality) {
  static const int base[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                               14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                               18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                               49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
  const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  std::vector<std::uint16_t> t(64);
  for (int i = 0; i < 64; ++i) t[i] = static_cast<std::uint16_t>(std::clamp((base[i] * scale + 50) / 100, 1, 255));
  return t;
}

// Peak signal-to-noise ratio of two RGB pictures of the same size, in dB.
template <typename A, typename B>
double Psnr(const A& a, const B& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const double d = static_cast<double>(static_cast<std::uint8_t>(a[i])) - static_cast<std::uint8_t>(b[i]);
    sum += d * d;
  }
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}

// A desktop-like picture, RGB, top row first: smooth gradients with flat
// panels, far from symmetric, so that a flipped or shifted decode shows.
inline std::vector<std::uint8_t> SmoothRgb(int w, int h) {
  std::vector<std::uint8_t> rgb;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool panel = (x / 64 + y / 48) % 5 == 0;
      rgb.push_back(panel ? 200 : static_cast<std::uint8_t>(255 * x / std::max(w - 1, 1)));
      rgb.push_back(panel ? 40 : static_cast<std::uint8_t>(255 * y / std::max(h - 1, 1)));
      rgb.push_back(panel ? 90 : static_cast<std::uint8_t>(128 + 100 * std::sin(x / 23.0) * std::cos(y / 17.0)));
    }
  return rgb;
}

// What every file we write must be: clean to libjpeg and to ImageMagick
// (warnings count as damage), the given size, YCbCr 4:2:0, and the
// quantisation of the given quality. The decode, for comparing pixels.
inline Decoded ExpectJpeg(const std::string& file, int width, int height, int quality = 80) {
  Decoded d = Decode(testshell::ReadFile(file));
  EXPECT_TRUE(d.ok) << file;
  EXPECT_EQ(std::make_tuple(d.warnings, d.width, d.height), std::make_tuple(0, width, height));
  EXPECT_EQ(d.sampling, (std::vector<int>{2, 2, 1, 1, 1, 1}));
  EXPECT_EQ(d.luma, LumaTable(quality));
  int status = 0;
  EXPECT_EQ(Shell("identify -regard-warnings -format '%w %h %[colorspace] %[jpeg:sampling-factor]' " + Quote(file) +
                      " 2>/dev/null",
                  &status),
            std::to_string(width) + " " + std::to_string(height) + " sRGB 2x2,1x1,1x1");
  EXPECT_EQ(status, 0) << "ImageMagick finds " << file << " damaged";
  return d;
}

}  // namespace jpegcheck
