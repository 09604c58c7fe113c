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

  const std::optional<FileStamp> oldStamp = FindFile(sPath);

  // Instead of deleting the old file first, write beside it and rename over
  // it only when the JPEG is complete: a failed write loses nothing.
  WriteFileAtomically(sPath, [&](const std::string& tempPath) {
    const std::string sJpgFile = tempPath;  // lives until the write has finished
    FillJpegRecord(tJ, cDib, sJpgFile.c_str(), lQuality);
    if (const int code = ijlWrite(&tJ, IJL_JFILE_WRITEWHOLEIMAGE); code != IJL_OK) {
      ijlFree(&tJ);
      Raise(kErrJpeg, "Failed to save to JPG " + std::to_string(code), Source());
    }
    // Stamped before the rename, so the file never shows at sFile with
    // looser permissions than the one it replaces.
    if (oldStamp) SetFileStamp(tempPath, *oldStamp);
  });
  return true;
}

}  // namespace output
