// Reading back the JPEGs we write, with libjpeg and with ImageMagick, to
// check them against the pictures they came from.
#pragma once
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace jpegcheck {

struct Decoded {
  bool ok = false;
  int warnings = 0;  // corrupt-data warnings: a clean file has none
  int width = 0, height = 0, components = 0;
  int h[3] = {}, v[3] = {};       // sampling factors
  std::uint16_t luma[64] = {};    // luminance quantisation table, natural order
  unsigned restartInterval = 0;
  std::vector<std::uint8_t> rgb;  // top row first, 3 bytes a pixel
};

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct DecodeError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

inline Decoded Decode(const std::vector<std::uint8_t>& bytes) {
  Decoded d;
  jpeg_decompress_struct cinfo;
  DecodeError err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<DecodeError*>(c->err)->jump, 1); };
  err.pub.output_message = [](j_common_ptr) {};
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    d.ok = false;
    return d;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  d.width = static_cast<int>(cinfo.image_width);
  d.height = static_cast<int>(cinfo.image_height);
  d.components = cinfo.num_components;
  for (int c = 0; c < 3 && c < cinfo.num_components; ++c) {
    d.h[c] = cinfo.comp_info[c].h_samp_factor;
    d.v[c] = cinfo.comp_info[c].v_samp_factor;
  }
  if (cinfo.quant_tbl_ptrs[0])
    for (int i = 0; i < 64; ++i) d.luma[i] = cinfo.quant_tbl_ptrs[0]->quantval[i];
  d.restartInterval = cinfo.restart_interval;
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  d.rgb.resize(static_cast<std::size_t>(d.width) * d.height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = d.rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * d.width * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  d.warnings = static_cast<int>(err.pub.num_warnings);
  jpeg_destroy_decompress(&cinfo);
  d.ok = true;
  return d;
}

inline Decoded DecodeFile(const std::string& path) { return Decode(ReadFile(path)); }

// The standard luminance table scaled for a quality as libjpeg scales it,
// natural order.
inline std::vector<std::uint16_t> LumaTable(int quality) {
  static const int base[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                               14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                               18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                               49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
  const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  std::vector<std::uint16_t> t(64);
  for (int i = 0; i < 64; ++i)
    t[i] = static_cast<std::uint16_t>(std::clamp((base[i] * scale + 50) / 100, 1, 255));
  return t;
}

// Peak signal-to-noise ratio of two RGB pictures of the same size, in dB.
inline double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    sum += d * d;
  }
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}

// The markers of a JPEG in file order, restart markers included.
inline std::vector<std::uint8_t> Markers(const std::vector<std::uint8_t>& j) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < j.size(); ++i)
    if (j[i] == 0xFF && j[i + 1] != 0x00 && j[i + 1] != 0xFF) out.push_back(j[i + 1]);
  return out;
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a command and returns what it printed; status gets its exit status.
inline std::string Run(const std::string& command, int& status) {
  std::string out;
  std::FILE* p = ::popen(command.c_str(), "r");
  if (!p) {
    status = -1;
    return out;
  }
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = ::pclose(p);
  status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

// ImageMagick's view of the file: "width height colourspace sampling", or
// "" when it reports the file as damaged (warnings count as damage).
inline std::string Identify(const std::string& path) {
  int status = 0;
  const std::string out =
      Run("identify -regard-warnings -format '%w %h %[colorspace] %[jpeg:sampling-factor]' " + Quote(path) + " 2>/dev/null",
          status);
  return status == 0 ? out : std::string();
}

// The pixels as ImageMagick decodes them, RGB, top row first.
inline std::vector<std::uint8_t> MagickPixels(const std::string& path) {
  int status = 0;
  const std::string out = Run("convert -regard-warnings " + Quote(path) + " -depth 8 rgb:- 2>/dev/null", status);
  if (status != 0) return {};
  return {out.begin(), out.end()};
}

// A fresh folder, removed with everything in it at the end of the test.
struct TempDir {
  std::string path;
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "glimmet-jpeg-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path)) names.push_back(e.path().filename().string());
    return names;
  }
};

}  // namespace jpegcheck
