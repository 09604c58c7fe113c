// HKEY_CURRENT_USER keys as plain-text key files: the key
// software\a\B\c is the file $XDG_CONFIG_HOME/software/a/B/c.ini holding one
// "Name=value" line per value. Key and value names match without regard to
// letter case, as in the registry. Every change is a locked
// read-modify-write through the safe file writer, so runs in parallel never
// lose or corrupt each other's values, and the lines of other programs keep
// their bytes and line endings.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>
#include <utility>
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

// Another process holding the lock longer than this is stuck or hostile:
// the record is skipped rather than the run held up.
constexpr auto kLockWait = std::chrono::seconds(2);
// A key file is small; one far larger is not worth a run's memory.
constexpr std::size_t kLargestKeyFile = std::size_t(64) << 20;

using Values = std::vector<std::pair<std::string, std::string>>;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

fs::path ConfigHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home && *home == '/') return fs::path(home) / ".config";
  // Not a shared folder such as /tmp, where others could read or plant it.
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && *pw->pw_dir == '/')
    return fs::path(pw->pw_dir) / ".config";
  return {};
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
  // The name as written is the usual case, and one lookup finds it.
  if (fs::exists(fs::symlink_status(dir / name, ec))) return name;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string existing = entry.path().filename().string();
    if (Lower(existing) == Lower(name)) return existing;
  }
  return name;
}

fs::path KeyPath(const std::string& subKey) {
  const std::vector<std::string> parts = Components(subKey);
  fs::path dir = ConfigHome();
  if (parts.empty() || dir.empty()) return {};
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) dir /= Match(dir, parts[i]);
  return dir / Match(dir, parts.back() + ".ini");
}

std::map<HKEY, fs::path>& OpenKeys() {
  static std::map<HKEY, fs::path> keys;
  return keys;
}

HKEY NewKey(const fs::path& file) {
  static HKEY next = 0x100;
  OpenKeys()[next] = file;
  return next++;
}

// What a RegistryBatch has collected on this thread.
struct Batch {
  int depth = 0;
  std::map<fs::path, Values> pending;
  // Keys already found and created in this batch: each costs a listing of
  // every folder on the way.
  std::map<std::string, fs::path> created;
  std::string failure;  // the first one
};
thread_local Batch batch;

void NoteFailure(const std::string& why) {
  if (batch.depth > 0 && batch.failure.empty()) batch.failure = why;
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
  std::string name;  // empty for comments, blank lines and anything else
  std::string text;  // the line as stored, without its ending
  std::string end;   // "\n", "\r\n", or "" for a last line without one
};

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  for (std::size_t pos = 0; pos < text.size();) {
    Line line;
    const std::size_t newline = text.find('\n', pos);
    if (newline == std::string::npos) {
      line.text = text.substr(pos);
      pos = text.size();
    } else {
      line.text = text.substr(pos, newline - pos);
      line.end = '\n';
      pos = newline + 1;
      if (!line.text.empty() && line.text.back() == '\r') {
        line.text.pop_back();
        line.end = "\r\n";
      }
    }
    const auto eq = line.text.find('=');
    if (eq != std::string::npos && eq > 0 && line.text[0] != ';' && line.text[0] != '[')
      line.name = line.text.substr(0, eq);
    lines.push_back(std::move(line));
  }
  return lines;
}

// Every line of each value is set (a file edited by hand may hold a name
// twice); a value not there yet is added with the file's own line ending.
void SetValues(std::vector<Line>& lines, const Values& values) {
  std::string end = "\n";
  for (const Line& l : lines)
    if (!l.end.empty()) {
      end = l.end;
      break;
    }
  for (const auto& [name, value] : values) {
    bool found = false;
    for (Line& l : lines) {
      if (l.name.empty() || Lower(l.name) != Lower(name)) continue;
      l.text = l.name + "=" + Escape(value);  // the stored name keeps its case
      found = true;
    }
    if (found) continue;
    if (!lines.empty() && lines.back().end.empty()) lines.back().end = end;
    lines.push_back({name, Escape(name) + "=" + Escape(value), end});
  }
}

// The key file's bytes; a missing file is an empty one. A link is followed.
std::string ReadKeyFile(const fs::path& file, std::string& text) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT ? std::string() : "cannot read " + file.string() + ": " + std::strerror(errno);
  struct stat st {};
  std::string why;
  if (::fstat(fd, &st) != 0) why = "cannot read " + file.string() + ": " + std::strerror(errno);
  else if (S_ISDIR(st.st_mode)) why = file.string() + " is a folder";
  else if (!S_ISREG(st.st_mode)) why = file.string() + " is not a regular file";
  else if (static_cast<std::size_t>(st.st_size) > kLargestKeyFile) why = file.string() + " is larger than 64 MB";
  char buffer[65536];
  for (ssize_t n; why.empty() && (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    else if (errno != EINTR) why = "cannot read " + file.string() + ": " + std::strerror(errno);
  }
  ::close(fd);
  return why;
}

// An exclusive lock beside the key file for one read-modify-write. The lock
// file is private, and a lock somebody else keeps is given up on in time.
class KeyLock {
 public:
  KeyLock() = default;
  ~KeyLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  KeyLock(const KeyLock&) = delete;
  KeyLock& operator=(const KeyLock&) = delete;

  // "" once the lock is held, otherwise why it is not.
  std::string Acquire(const fs::path& file) {
    fs::path lock = file;
    lock.replace_filename(file.filename().string().insert(0, 1, '.') + ".lock");
    fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    // A lock file of another user can still be locked through a read-only descriptor.
    if (fd_ < 0 && errno == EACCES) fd_ = ::open(lock.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) return "cannot open " + lock.string() + ": " + std::strerror(errno);
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK && errno != EINTR) return "cannot lock " + lock.string() + ": " + std::strerror(errno);
      if (std::chrono::steady_clock::now() >= deadline) return lock.string() + " stayed locked by another process";
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return {};
  }

 private:
  int fd_ = -1;
};

// Sets values in file in one locked read-modify-write; "" on success,
// otherwise why nothing was written.
std::string Apply(const fs::path& file, const Values& values) {
  KeyLock lock;
  if (std::string why = lock.Acquire(file); !why.empty()) return why;
  std::string text;
  if (std::string why = ReadKeyFile(file, text); !why.empty()) return why;
  std::vector<Line> lines = SplitLines(text);
  SetValues(lines, values);
  std::string updated;
  updated.reserve(text.size());
  for (const Line& l : lines) updated.append(l.text).append(l.end);
  // Most runs record what is there already; leaving the file alone spares
  // every batch run a synced rewrite.
  if (updated == text) return {};
  try {
    WriteFileSafely(file.string(), [&](FileSink& out) { out.Write(updated.data(), updated.size()); });
  } catch (const RuntimeError& e) {
    return e.Description;
  }
  return {};
}

}  // namespace

long RegCreateKeyA(HKEY root, const char* subKey, HKEY* result) {
  if (result) *result = 0;
  if (root != HKEY_CURRENT_USER || !subKey || !result) return kErrorInvalidParameter;
  if (auto known = batch.created.find(subKey); batch.depth > 0 && known != batch.created.end()) {
    *result = NewKey(known->second);
    return kErrorSuccess;
  }
  const fs::path file = KeyPath(subKey);
  if (file.empty()) {
    NoteFailure(ConfigHome().empty() ? "no home folder for the key" : "no key name");
    return kErrorInvalidParameter;
  }
  // Folders are created only where nobody else's link leads them.
  try {
    CheckNothingPlanted(file.string());
  } catch (const RuntimeError& e) {
    NoteFailure(e.Description);
    return kErrorAccessDenied;
  }
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (ec) {
    NoteFailure("cannot create " + file.parent_path().string() + ": " + ec.message());
    return kErrorAccessDenied;
  }
  if (batch.depth > 0) batch.created[subKey] = file;
  *result = NewKey(file);
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
  if (batch.depth > 0) {
    batch.pending[it->second].emplace_back(valueName, value);
    return kErrorSuccess;
  }
  return Apply(it->second, {{valueName, value}}).empty() ? kErrorSuccess : kErrorAccessDenied;
}

long RegCloseKey(HKEY key) { return OpenKeys().erase(key) ? kErrorSuccess : kErrorInvalidHandle; }

RegistryBatch::RegistryBatch() { ++batch.depth; }

RegistryBatch::~RegistryBatch() {
  if (--batch.depth == 0) Flush();
}

std::string RegistryBatch::Flush() {
  for (const auto& [file, values] : batch.pending)
    if (std::string why = Apply(file, values); !why.empty()) NoteFailure(why);
  batch.pending.clear();
  batch.created.clear();
  return std::exchange(batch.failure, {});
}

std::string RegistryKeyFile(const std::string& subKey) { return KeyPath(subKey).string(); }

}  // namespace runtime
