// The JPEG layer in the Windows build: files are written under non-ASCII
// names through the safe writer and read back with the same libjpeg-turbo.
#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>

#include <csetjmp>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/fileio.h"
#include "runtime/jpeg/ijl.h"
#include "win32_util.h"

using namespace runtime;

namespace {

struct Decoded {
  bool ok = false;
  int width = 0, height = 0, warnings = 0;
  std::vector<std::uint8_t> rgb;
};

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

Decoded Decode(const std::vector<std::uint8_t>& bytes) {
  Decoded out;
  jpeg_decompress_struct info{};
  ErrorManager err{};
  info.err = jpeg_std_error(&err.base);
  err.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<ErrorManager*>(c->err)->jump, 1); };
  err.base.output_message = [](j_common_ptr) {};
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    return Decoded{};
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  out.width = static_cast<int>(info.output_width);
  out.height = static_cast<int>(info.output_height);
  out.rgb.resize(std::size_t(out.width) * out.height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = &out.rgb[std::size_t(info.output_scanline) * out.width * 3];
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  out.warnings = static_cast<int>(err.base.num_warnings);
  jpeg_destroy_decompress(&info);
  out.ok = true;
  return out;
}

}  // namespace

TEST(Win32Ijl, WritesAJpegUnderANonAsciiNameThatDecodesToThePicture) {
  win32test::TempFolder dir;
  const std::string file = dir / "\xE6\x88\xAA\xE5\x9B\xBE \xC3\xBC.jpg";
  // A bottom-up BGR picture with pad bytes, left half red, right half blue.
  const int width = 40, height = 24, pad = 1, stride = width * 3 + pad;
  std::vector<std::uint8_t> dib(std::size_t(stride) * height, 0x55);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &dib[std::size_t(stride) * y + 3 * x];
      p[0] = x < width / 2 ? 0 : 255;  // blue
      p[1] = 0;
      p[2] = x < width / 2 ? 255 : 0;  // red
    }
  JPEG_CORE_PROPERTIES props{};
  ASSERT_EQ(ijlInit(&props), IJL_OK);
  props.DIBBytes = dib.data();
  props.DIBWidth = props.JPGWidth = width;
  props.DIBHeight = -height;
  props.JPGHeight = height;
  props.DIBPadBytes = pad;
  props.jquality = 95;
  props.JPGFile = file.c_str();
  ASSERT_EQ(ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
  ijlFree(&props);

  const Decoded d = Decode(win32test::ReadAll(file));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.warnings, 0);
  EXPECT_EQ(d.width, width);
  EXPECT_EQ(d.height, height);
  auto at = [&](int x, int y, int c) { return d.rgb[(std::size_t(y) * width + x) * 3 + c]; };
  EXPECT_GT(at(4, 4, 0), 200);   // red on the left
  EXPECT_LT(at(4, 4, 2), 60);
  EXPECT_GT(at(35, 20, 2), 200);  // blue on the right
  EXPECT_LT(at(35, 20, 0), 60);
}

TEST(Win32Ijl, FileErrorsComeBackAsCodesWithTheReason) {
  win32test::TempFolder dir;
  std::vector<std::uint8_t> dib(8 * 8 * 3, 128);
  JPEG_CORE_PROPERTIES props{};
  ASSERT_EQ(ijlInit(&props), IJL_OK);
  props.DIBBytes = dib.data();
  props.DIBWidth = props.JPGWidth = 8;
  props.DIBHeight = props.JPGHeight = 8;
  const std::string missing = dir / "gone/out.jpg";
  props.JPGFile = missing.c_str();
  EXPECT_EQ(ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE), IJL_FILE_OPEN_ERROR);
  ASSERT_TRUE(LastWriteError());
  EXPECT_EQ(LastWriteError()->Number, kErrPathNotFound);
  props.JPGFile = "NUL";  // a device takes the whole file
  EXPECT_EQ(ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
  ijlFree(&props);
}
