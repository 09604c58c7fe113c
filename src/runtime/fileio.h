// File services: existence with times and attributes, and writing a file
// so that a reader never sees a partial one.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace runtime {

// What is kept of an existing file to carry it over to a new one written
// in its place: its attributes and its three times.
struct FileStamp {
  std::uint32_t attributes = 0;  // mode bits on Linux, attributes on Windows
  std::uint32_t owner = 0, group = 0;
  std::int64_t creationNs = 0, accessNs = 0, writeNs = 0;  // since the epoch
};

// The stamp of an existing regular file, or nothing when there is none.
std::optional<FileStamp> FindFile(const std::string& path);
// Applies the times, then the attributes; results are not reported.
void SetFileStamp(const std::string& path, const FileStamp& stamp);

// Writes path through write(stream-like callback), first into a temporary
// file beside it, then renames it over path. write gets the temporary
// file's path and must leave a complete file there or throw. On any failure
// the temporary file is removed and path is left as it was; raises a
// run-time error with a description naming the path.
void WriteFileAtomically(const std::string& path,
                         const std::function<void(const std::string& tempPath)>& write);

}  // namespace runtime
