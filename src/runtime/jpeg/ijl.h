// The JPEG library layer: one record describes the pixels in memory and the
// JPEG file to make; three calls initialise it, write it and free it.
// Encoding is done by libjpeg-turbo. Errors are return codes; nothing is
// printed and the process is never ended.
#pragma once
#include <cstdint>

namespace runtime {

// Return codes: 0 is success, every failure is negative.
inline constexpr int IJL_OK = 0;
inline constexpr int IJL_EXCEPTION_DETECTED = -1;    // an unexpected failure inside the layer
inline constexpr int IJL_NOT_INITIALISED = -2;       // ijlInit was not called on the record
inline constexpr int IJL_UNSUPPORTED_MODE = -3;      // an I/O mode other than those below
inline constexpr int IJL_NULL_POINTER = -4;          // no record, or no pixel memory
inline constexpr int IJL_INVALID_DIB_SIZE = -5;      // width or height 0 or negative, pad < 0
inline constexpr int IJL_INVALID_JPG_SIZE = -6;      // JPG size differs from the DIB's, or too big
inline constexpr int IJL_UNSUPPORTED_FORMAT = -7;    // channels, colour or subsampling not handled
inline constexpr int IJL_MEMORY_ERROR = -8;
inline constexpr int IJL_ENCODER_ERROR = -9;         // the encoder refused the data
inline constexpr int IJL_INVALID_FILENAME = -10;     // JPGFile missing or empty
inline constexpr int IJL_FILE_OPEN_ERROR = -11;
inline constexpr int IJL_FILE_WRITE_ERROR = -12;

// I/O modes of ijlWrite.
inline constexpr int IJL_JFILE_WRITEWHOLEIMAGE = 8;  // the whole DIB to the file JPGFile

// Colour spaces (DIBColor, JPGColor).
inline constexpr int IJL_OTHER = 0;
inline constexpr int IJL_RGB = 1;
inline constexpr int IJL_BGR = 2;
inline constexpr int IJL_YCBCR = 3;

// Chroma subsampling (JPGSubsampling; DIBSubsampling is always IJL_NONE).
inline constexpr int IJL_NONE = 0;
inline constexpr int IJL_420 = 1;  // half width, half height
inline constexpr int IJL_422 = 2;  // half width

struct IjlState;  // the layer's own state, made by ijlInit

struct JPEG_CORE_PROPERTIES {
  std::uint32_t UseJPEGPROPERTIES = 0;
  // Input: DIBHeight < 0 means memory row 0 is the picture's bottom row;
  // each memory row is DIBWidth * DIBChannels + DIBPadBytes bytes.
  std::uint8_t* DIBBytes = nullptr;
  std::int32_t DIBWidth = 0;
  std::int32_t DIBHeight = 0;
  std::int32_t DIBPadBytes = 0;
  std::int32_t DIBChannels = 0;
  std::int32_t DIBColor = 0;
  std::int32_t DIBSubsampling = 0;
  // Output.
  const char* JPGFile = nullptr;  // UTF-8, 0-terminated
  std::uint8_t* JPGBytes = nullptr;
  std::int32_t JPGSizeBytes = 0;
  std::int32_t JPGWidth = 0;
  std::int32_t JPGHeight = 0;
  std::int32_t JPGChannels = 0;
  std::int32_t JPGColor = 0;
  std::int32_t JPGSubsampling = 0;
  std::int32_t JPGThumbWidth = 0;
  std::int32_t JPGThumbHeight = 0;
  std::int32_t cconversion_reqd = 0;
  std::int32_t upsampling_reqd = 0;
  std::int32_t jquality = 0;  // 1..100; values outside are clamped
  IjlState* jprops = nullptr;
};

// Sets the defaults: 3-channel BGR input, a 3-channel YCbCr JPEG with 4:2:0
// subsampling at quality 75. Frees what an earlier ijlInit took.
int ijlInit(JPEG_CORE_PROPERTIES* props);
// Encodes as mode says. The file is complete when IJL_OK comes back;
// otherwise nothing is left at JPGFile that this call wrote. JPGFile is
// written as the runtime's WriteFileSafely does: an existing file is
// replaced whole and keeps its mode, owner and times, and a device or FIFO
// (/dev/stdout) is written into. After a file error, LastWriteError() says
// why.
int ijlWrite(JPEG_CORE_PROPERTIES* props, int mode);
// Releases what ijlInit took; safe to call again, or on a record never
// initialised.
int ijlFree(JPEG_CORE_PROPERTIES* props);

}  // namespace runtime
