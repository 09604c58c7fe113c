// Writing a regular file over from its first byte without truncating it
// first: on ext4, cutting a file to zero bytes makes its close start
// writing it back to the disk at once, which costs a screen-sized file more
// than writing it.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace runtime {

// The file at path opened for writing at its start: a regular file as it
// is, anything else (missing, a device, a pipe) as fopen "wb" opens it.
// nullptr when it cannot be opened.
inline std::FILE* OpenForRewrite(const char* path) {
  std::error_code error;
  if (std::filesystem::is_regular_file(path, error))
    if (std::FILE* f = std::fopen(path, "r+b")) return f;
  return std::fopen(path, "wb");
}

// Closes f after size bytes were written to it from its start, cutting off
// what a longer old content of a regular file left behind; false on any
// failure.
inline bool CloseRewritten(std::FILE* f, const char* path, std::uintmax_t size) {
  if (std::fclose(f) != 0) return false;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error) || std::filesystem::file_size(path, error) <= size) return true;
  std::filesystem::resize_file(path, size, error);
  return !error;
}

}  // namespace runtime
