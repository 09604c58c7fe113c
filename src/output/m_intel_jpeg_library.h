// Writes the picture of a cDIBSection to a JPEG file through the JPEG
// library layer.
#pragma once
#include <cstdint>
#include <string>

#include "output/c_dib_section.h"
#include "runtime/jpeg/ijl.h"

namespace output {

inline constexpr int kErrJpeg = 26001;

// Writes cDib to sFile (UTF-8) at quality lQuality, passed on unchecked.
// The file is written as runtime::WriteFileSafely does: beside sFile and
// renamed over it when complete, keeping an existing file's times and
// attributes; a failed write leaves it exactly as it was. Returns true; every failure is raised: 26001 for the
// library's refusals, the file layer's own errors for a path that cannot be
// written.
bool SaveDibToJpeg(const cDIBSection& cDib, const std::string& sFile, std::int32_t lQuality);

// Fills the record's picture and file fields from cDib, as SaveDibToJpeg
// does before writing; every other field keeps what ijlInit gave it.
// jpgFile must stay valid until the write has finished.
void FillJpegRecord(runtime::JPEG_CORE_PROPERTIES& tJ, const cDIBSection& cDib, const char* jpgFile,
                    std::int32_t lQuality);

}  // namespace output
