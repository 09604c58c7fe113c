#include "runtime/jpeg/ijl.h"

#include <new>
#include <string>

#include "runtime/fileio.h"
#include "runtime/jpeg/jpeg_encoder.h"

namespace runtime {

// Marks a record that ijlInit has readied. The encoder keeps no state
// between calls, so there is nothing else in it yet.
struct IjlState {};

namespace {

// Checks the record's description of the pixels and of the JPEG and turns
// it into the encoder's terms.
int Describe(const JPEG_CORE_PROPERTIES& p, jpeg::Image& image, jpeg::Settings& settings) {
  if (!p.DIBBytes) return IJL_NULL_POINTER;
  if (p.DIBWidth <= 0 || p.DIBHeight == 0 || p.DIBPadBytes < 0) return IJL_INVALID_DIB_SIZE;
  if (p.DIBChannels != 3 || (p.DIBColor != IJL_BGR && p.DIBColor != IJL_RGB) || p.DIBSubsampling != IJL_NONE)
    return IJL_UNSUPPORTED_FORMAT;
  const std::int64_t height = p.DIBHeight < 0 ? -static_cast<std::int64_t>(p.DIBHeight) : p.DIBHeight;
  if (p.JPGWidth != p.DIBWidth || p.JPGHeight != height) return IJL_INVALID_JPG_SIZE;  // no scaling
  if (p.JPGChannels != 3 || p.JPGColor != IJL_YCBCR) return IJL_UNSUPPORTED_FORMAT;

  const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(p.DIBWidth) * 3 + p.DIBPadBytes;
  image.width = p.DIBWidth;
  image.height = static_cast<std::int32_t>(height);
  image.bgr = p.DIBColor == IJL_BGR;
  if (p.DIBHeight < 0) {  // bottom-up: the picture's top row is the last in memory
    image.top = p.DIBBytes + stride * (height - 1);
    image.step = -stride;
  } else {
    image.top = p.DIBBytes;
    image.step = stride;
  }
  settings.quality = p.jquality;
  settings.subsampling = p.JPGSubsampling;
  return IJL_OK;
}

// Writes the JPEG to path through the runtime's safe writer: an existing
// file is replaced whole and keeps its mode, owner and times; a failed
// write leaves it as it was, and LastWriteError() tells why.
int WriteJpegFile(const char* path, const jpeg::EncodedJpeg& jpeg) {
  bool opened = false;
  try {
    WriteFileSafely(path, [&](FileSink& out) {
      opened = true;
      jpeg.Write([&out](const std::uint8_t* data, std::size_t size) {
        out.Write(data, size);
        return true;
      });
    }, WriteOptions{.keepTimes = true});
  } catch (const RuntimeError&) {
    return opened ? IJL_FILE_WRITE_ERROR : IJL_FILE_OPEN_ERROR;
  }
  return IJL_OK;
}

}  // namespace

int ijlInit(JPEG_CORE_PROPERTIES* props) {
  if (!props) return IJL_NULL_POINTER;
  ijlFree(props);
  *props = JPEG_CORE_PROPERTIES{};
  props->jprops = new (std::nothrow) IjlState;
  if (!props->jprops) return IJL_MEMORY_ERROR;
  props->DIBChannels = 3;
  props->DIBColor = IJL_BGR;
  props->DIBSubsampling = IJL_NONE;
  props->JPGChannels = 3;
  props->JPGColor = IJL_YCBCR;
  props->JPGSubsampling = IJL_420;
  props->jquality = 75;
  return IJL_OK;
}

int ijlWrite(JPEG_CORE_PROPERTIES* props, int mode) {
  if (!props) return IJL_NULL_POINTER;
  if (!props->jprops) return IJL_NOT_INITIALISED;
  if (mode != IJL_JFILE_WRITEWHOLEIMAGE) return IJL_UNSUPPORTED_MODE;
  try {
    jpeg::Image image;
    jpeg::Settings settings;
    if (const int code = Describe(*props, image, settings); code != IJL_OK) return code;
    if (!props->JPGFile || !*props->JPGFile) return IJL_INVALID_FILENAME;
    // Encode first, so a picture the encoder refuses never touches the file.
    jpeg::EncodedJpeg encoded;
    if (const int code = jpeg::Encode(image, settings, encoded); code != IJL_OK) return code;
    return WriteJpegFile(props->JPGFile, encoded);
  } catch (const std::bad_alloc&) {
    return IJL_MEMORY_ERROR;
  } catch (...) {
    return IJL_EXCEPTION_DETECTED;
  }
}

int ijlFree(JPEG_CORE_PROPERTIES* props) {
  if (!props) return IJL_NULL_POINTER;
  delete props->jprops;
  props->jprops = nullptr;
  return IJL_OK;
}

}  // namespace runtime
