// Scratch folders and file reading for the tests of the Windows build.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace win32test {

inline std::string Utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

inline std::filesystem::path FromUtf8(const std::string& s) {
  return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

// A fresh folder under the temporary folder, with a non-ASCII name so that
// every path the tests use takes the wide-character calls' way; removed
// with everything in it.
class TempFolder {
 public:
  TempFolder() {
    const auto base = std::filesystem::temp_directory_path();
    for (unsigned n = GetCurrentProcessId();; ++n) {
      path_ = base / FromUtf8("glimmet-\xC3\xBC\xC3\xA9\xE2\x82\xAC-" + std::to_string(n));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Joined as bytes, so that a test can name a file with invalid UTF-8.
  std::string operator/(const std::string& name) const { return Utf8(path_) + "\\" + name; }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadAll(const std::string& file) {
  std::ifstream in(FromUtf8(file), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(Utf8(entry.path().filename()));
  return names;
}

}  // namespace win32test
