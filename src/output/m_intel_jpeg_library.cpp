#include "output/m_intel_jpeg_library.h"

#include <optional>

#include "runtime/app.h"
#include "runtime/error.h"
#include "runtime/fileio.h"

namespace output {

using namespace runtime;

namespace {

std::string Source() { return App().EXEName + ".mIntelJPEGLibrary"; }

// Frees the record on every way out once ijlInit has succeeded.
struct RecordGuard {
  JPEG_CORE_PROPERTIES& tJ;
  ~RecordGuard() { ijlFree(&tJ); }
};

}  // namespace

void FillJpegRecord(JPEG_CORE_PROPERTIES& tJ, const cDIBSection& cDib, const char* jpgFile, std::int32_t lQuality) {
  tJ.DIBWidth = cDib.Width();
  tJ.DIBHeight = -cDib.Height();  // memory row 0 is the picture's bottom row
  tJ.DIBBytes = cDib.DIBSectionBitsPtr();
  tJ.DIBPadBytes = cDib.BytesPerScanLine() - cDib.Width() * 3;
  tJ.JPGFile = jpgFile;
  tJ.JPGWidth = cDib.Width();
  tJ.JPGHeight = cDib.Height();
  tJ.jquality = lQuality;
}

bool SaveDibToJpeg(const cDIBSection& cDib, const std::string& sFile, std::int32_t lQuality) {
  const std::string sPath = sFile;
  JPEG_CORE_PROPERTIES tJ{};
  if (const int code = ijlInit(&tJ); code != IJL_OK)
    Raise(kErrJpeg, "Failed to initialise the IJL library: " + std::to_string(code), Source());
  RecordGuard guard{tJ};

  // The JPEG layer writes through the runtime's safe writer: an existing
  // file is replaced only once the new one is complete, and its times and
  // attributes are carried over through the new file's descriptor before
  // the rename. Nothing is looked up, deleted or re-timed by name here.
  const std::string sJpgFile = sPath;  // lives until the write has finished
  FillJpegRecord(tJ, cDib, sJpgFile.c_str(), lQuality);
  if (const int code = ijlWrite(&tJ, IJL_JFILE_WRITEWHOLEIMAGE); code != IJL_OK) {
    ijlFree(&tJ);
    // A file that cannot be written is reported as what it is, the way the
    // file layer says it, rather than as a bare library code.
    const std::optional<RuntimeError> fileError = LastWriteError();
    if ((code == IJL_FILE_OPEN_ERROR || code == IJL_FILE_WRITE_ERROR) && fileError) throw *fileError;
    Raise(kErrJpeg, "Failed to save to JPG " + std::to_string(code), Source());
  }
  return true;
}

}  // namespace output
