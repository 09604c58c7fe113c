// Shell commands and scratch folders for the tests that check real files
// and drive real programs.
#pragma once
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace testshell {

// Runs a shell command and returns what it wrote; status gets its exit code.
inline std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[65536];
  for (std::size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int rc = pipe ? pclose(pipe) : -1;
  if (status) *status = rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Polls until done() holds; false when it never did within the bound, which
// guards against hanging and is no measure: nothing asserts on speed.
inline bool WaitUntil(const std::function<bool()>& done, int seconds = 30) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The names in a folder, sorted.
inline std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& e : std::filesystem::directory_iterator(path, ignored)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A fresh folder, removed with everything in it (even what a test made
// read-only) at the end of the test.
struct TempDir {
  std::string path;
  TempDir() {
    path = (std::filesystem::temp_directory_path() / "glimmet-test-XXXXXX").string();
    if (!mkdtemp(path.data())) path.clear();
  }
  ~TempDir() {
    if (!path.empty()) Shell("chmod -R u+rwx " + Quote(path) + "; rm -rf " + Quote(path));
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return path + "/" + name; }
  std::vector<std::string> Names() const { return ListDir(path); }
};

}  // namespace testshell
