// HKEY_CURRENT_USER keys as plain-text key files: the key
// software\a\B\c is the file $XDG_CONFIG_HOME/software/a/B/c.ini holding one
// "Name=value" line per value. Key and value names match without regard to
// letter case, as in the registry. Every change is a locked
// read-modify-write that renames a complete new file into place, so runs in
// parallel never lose or corrupt each other's values.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "runtime/fileio.h"
#include "runtime/registry.h"

namespace runtime {
namespace {

namespace fs = std::filesystem;

constexpr long kErrorSuccess = 0;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorInvalidParameter = 87;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

fs::path ConfigHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return xdg;
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".config";
}

std::vector<std::string> Components(const std::string& subKey) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : subKey + "\\") {
    if (c == '\\' || c == '/') {
      if (!part.empty() && part != "." && part != "..") parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  return parts;
}

// The existing entry of dir whose name matches name case-insensitively, or
// name itself when there is none.
std::string Match(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string existing = entry.path().filename().string();
    if (Lower(existing) == Lower(name)) return existing;
  }
  return name;
}

fs::path KeyPath(const std::string& subKey) {
  const std::vector<std::string> parts = Components(subKey);
  if (parts.empty()) return {};
  fs::path dir = ConfigHome();
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) dir /= Match(dir, parts[i]);
  return dir / Match(dir, parts.back() + ".ini");
}

std::map<HKEY, fs::path>& OpenKeys() {
  static std::map<HKEY, fs::path> keys;
  return keys;
}

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

struct Line {
  std::string name;  // empty for comments and blank lines
  std::string text;  // the whole line as stored
};

std::vector<Line> ReadLines(const fs::path& file) {
  std::vector<Line> lines;
  std::ifstream in(file);
  std::string text;
  while (std::getline(in, text)) {
    Line line{{}, text};
    const auto eq = text.find('=');
    if (!text.empty() && text[0] != ';' && text[0] != '[' && eq != std::string::npos) line.name = text.substr(0, eq);
    lines.push_back(line);
  }
  return lines;
}

// Holds an exclusive lock beside the key file for one read-modify-write.
class KeyLock {
 public:
  explicit KeyLock(const fs::path& file) {
    const fs::path lock = file.parent_path() / ("." + file.filename().string() + ".lock");
    fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~KeyLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  KeyLock(const KeyLock&) = delete;
  KeyLock& operator=(const KeyLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

long RegCreateKeyA(HKEY root, const char* subKey, HKEY* result) {
  if (result) *result = 0;
  if (root != HKEY_CURRENT_USER || !subKey || !result) return kErrorInvalidParameter;
  const fs::path file = KeyPath(subKey);
  if (file.empty()) return kErrorInvalidParameter;
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (ec) return kErrorAccessDenied;
  static HKEY next = 0x100;
  *result = next++;
  OpenKeys()[*result] = file;
  return kErrorSuccess;
}

long RegSetValueExA(HKEY key, const char* valueName, std::uint32_t, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) {
  auto it = OpenKeys().find(key);
  if (it == OpenKeys().end()) return kErrorInvalidHandle;
  if (type != REG_SZ || !valueName) return kErrorInvalidParameter;
  // The size counts the terminating NUL; stop at the first NUL in any case.
  std::string value(reinterpret_cast<const char*>(data), data ? size : 0);
  value = value.substr(0, value.find('\0'));
  const fs::path& file = it->second;
  const std::string name = valueName;
  const std::string line = Escape(name) + "=" + Escape(value);

  KeyLock lock(file);
  std::vector<Line> lines = ReadLines(file);
  auto existing = std::find_if(lines.begin(), lines.end(), [&](const Line& l) { return !l.name.empty() && Lower(l.name) == Lower(name); });
  if (existing != lines.end())
    existing->text = existing->name + "=" + Escape(value);  // the stored name keeps its case
  else
    lines.push_back({name, line});
  try {
    WriteFileAtomically(file.string(), [&](const std::string& temp) {
      std::ofstream out(temp, std::ios::trunc);
      for (const Line& l : lines) out << l.text << '\n';
      out.close();
      if (!out) throw std::runtime_error("write failed");
    });
  } catch (...) {
    return kErrorAccessDenied;
  }
  return kErrorSuccess;
}

long RegCloseKey(HKEY key) { return OpenKeys().erase(key) ? kErrorSuccess : kErrorInvalidHandle; }

std::string RegistryKeyFile(const std::string& subKey) { return KeyPath(subKey).string(); }

}  // namespace runtime
