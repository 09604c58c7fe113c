// The safe file writer on Windows. A file is replaced whole: the new bytes
// go to a temporary file beside it, which then takes the old one's place
// with ReplaceFileW, so the old file's attributes and creation time stay
// and its write and access times are carried over when asked. A device
// (NUL, CON, a pipe) is written into. Windows has no links to resolve in
// ordinary use and no owner or mode bits to keep, so those steps of the
// Linux writer have nothing to do here.
#define _CRT_RAND_S
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>

#include "runtime/fileio.h"
#include "runtime/win32/wide.h"

namespace runtime {
namespace {

thread_local std::optional<RuntimeError> lastWriteError;

[[noreturn]] void RaiseWin32(DWORD err, const std::string& path) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_DIRECTORY: Raise(kErrPathNotFound, "Path not found: " + path);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: Raise(kErrPermissionDenied, "Permission denied: " + path);
    default: Raise(kErrDeviceIO, "Device I/O error: " + path + ": " + win32::ErrorText(err));
  }
}

[[noreturn]] void RaiseFolder(const std::string& path) {
  Raise(kErrPathFileAccess, "Path/File access error: " + path + " is a folder");
}

// A C run-time descriptor over a Win32 handle, because FileSink carries a
// descriptor on every platform; closing it closes the handle.
class Fd {
 public:
  Fd() = default;
  explicit Fd(HANDLE h) {
    if (h == INVALID_HANDLE_VALUE) return;
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY);
    if (fd_ < 0) CloseHandle(h);
  }
  ~Fd() {
    if (fd_ >= 0) _close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  HANDLE handle() const { return reinterpret_cast<HANDLE>(_get_osfhandle(fd_)); }
  bool Close() {
    const int rc = _close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_ = -1;
};

void WriteAll(int fd, const std::uint8_t* p, std::size_t left, const std::string& path) {
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (h == INVALID_HANDLE_VALUE) RaiseWin32(ERROR_INVALID_HANDLE, path);
  while (left > 0) {
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(h, p, chunk, &written, nullptr)) RaiseWin32(GetLastError(), path);
    if (written == 0) RaiseWin32(ERROR_WRITE_FAULT, path);
    p += written;
    left -= written;
  }
}

struct Target {
  std::wstring name;
  Fd stream;  // set for a device or pipe
  std::optional<BY_HANDLE_FILE_INFORMATION> old;
};

// The name made absolute once, so the temporary file and the swap use the
// folder the name meant when the write began (and Wine's ReplaceFileW
// refuses relative names).
void MakeAbsolute(std::wstring& name, const std::string& path) {
  DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  for (int attempt = 0; attempt < 3 && size > 0; ++attempt) {
    std::wstring full(size, L'\0');
    const DWORD n = GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
    if (n > 0 && n < size) {
      full.resize(n);
      name = std::move(full);
      return;
    }
    size = n;  // the current folder changed in between: try the new size
  }
  RaiseWin32(GetLastError(), path);
}

Target Resolve(const std::string& path) {
  if (path.empty()) Raise(kErrPathNotFound, "Path not found: (empty name)");
  Target target;
  if (!win32::ToWide(path, target.name)) Raise(kErrPathNotFound, "Path not found: " + path + " (not valid UTF-8)");
  if (target.name.find(L'\0') != std::wstring::npos) Raise(kErrPathNotFound, "Path not found: " + path);
  // Read by name first: opening a file under Wine moves its access time.
  WIN32_FILE_ATTRIBUTE_DATA before{};
  const bool named = GetFileAttributesExW(target.name.c_str(), GetFileExInfoStandard, &before);
  // Opened for writing but never changed: this tells a device from a file
  // and learns what the old file had, without touching it.
  HANDLE h = CreateFileW(target.name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND) {  // a new file
      MakeAbsolute(target.name, path);
      return target;
    }
    const DWORD attributes = GetFileAttributesW(target.name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) RaiseFolder(path);
    RaiseWin32(err, path);
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    target.stream = Fd(h);
    if (target.stream.get() < 0) RaiseWin32(ERROR_TOO_MANY_OPEN_FILES, path);
    return target;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(h, &info);
  const DWORD err = GetLastError();
  CloseHandle(h);
  if (!known) RaiseWin32(err, path);
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RaiseFolder(path);
  if (named) info.ftLastAccessTime = before.ftLastAccessTime;
  target.old = info;
  MakeAbsolute(target.name, path);
  return target;
}

std::wstring Folder(const std::wstring& name) {
  const auto slash = name.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return name.size() >= 2 && name[1] == L':' ? name.substr(0, 2) : L".";
  if (slash == 0) return name.substr(0, 1);
  if (slash == 2 && name[1] == L':') return name.substr(0, 3);  // C:\name
  return name.substr(0, slash);
}

// A new file under a short random name in the target's folder; CREATE_NEW
// never opens a name someone placed there in advance.
Fd CreateTemp(const std::wstring& target, std::wstring& temp, const std::string& path) {
  static const wchar_t kChars[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const std::wstring folder = Folder(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    // "C:" names the drive's current folder and "C:\\" its root: neither
    // takes another separator.
    temp = folder + (folder.back() == L':' || folder.back() == L'\\' || folder.back() == L'/' ? L".gl" : L"\\.gl");
    for (int i = 0; i < 8; ++i) {
      unsigned int r = 0;
      if (rand_s(&r) != 0) RaiseWin32(ERROR_GEN_FAILURE, path);
      temp += kChars[r % (sizeof kChars / sizeof kChars[0] - 1)];
    }
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      Fd fd(h);
      if (fd.get() < 0) {
        DeleteFileW(temp.c_str());
        RaiseWin32(ERROR_TOO_MANY_OPEN_FILES, path);
      }
      return fd;
    }
    if (const DWORD err = GetLastError(); err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) RaiseWin32(err, path);
  }
  RaiseWin32(ERROR_FILE_EXISTS, path);
}

void Replace(Target& target, const std::string& path, const std::function<void(FileSink&)>& write,
             const WriteOptions& options) {
  std::wstring temp;
  Fd fd = CreateTemp(target.name, temp, path);
  try {
    FileSink sink(fd.get(), path);
    write(sink);
    sink.Flush();
    if (target.old) {
      // ReplaceFileW keeps these on Windows but not under Wine, so the new
      // file gets them before it takes the old one's place.
      const BY_HANDLE_FILE_INFORMATION& old = *target.old;
      FILE_BASIC_INFO basic{};
      basic.CreationTime.LowPart = old.ftCreationTime.dwLowDateTime;
      basic.CreationTime.HighPart = static_cast<LONG>(old.ftCreationTime.dwHighDateTime);
      if (options.keepTimes) {
        basic.LastAccessTime.LowPart = old.ftLastAccessTime.dwLowDateTime;
        basic.LastAccessTime.HighPart = static_cast<LONG>(old.ftLastAccessTime.dwHighDateTime);
        basic.LastWriteTime.LowPart = old.ftLastWriteTime.dwLowDateTime;
        basic.LastWriteTime.HighPart = static_cast<LONG>(old.ftLastWriteTime.dwHighDateTime);
      }
      constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
      basic.FileAttributes = (old.dwFileAttributes & kKept) ? (old.dwFileAttributes & kKept) : FILE_ATTRIBUTE_NORMAL;
      SetFileInformationByHandle(fd.handle(), FileBasicInfo, &basic, sizeof basic);
      // Only an overwrite needs the data on disk before the swap: a crash
      // must not leave the old file gone and the new one empty.
      if (!FlushFileBuffers(fd.handle())) RaiseWin32(GetLastError(), path);
    }
    if (!fd.Close()) RaiseWin32(ERROR_WRITE_FAULT, path);
    bool done = false;
    if (target.old) {
      // Keeps the replaced file's attributes, creation time and security.
      done = ReplaceFileW(target.name.c_str(), temp.c_str(), nullptr,
                          REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr);
      const DWORD err = GetLastError();
      // The old file went away in between: the new one simply takes its name.
      if (!done && err != ERROR_FILE_NOT_FOUND) RaiseWin32(err, path);
    }
    if (!done && !MoveFileExW(temp.c_str(), target.name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      RaiseWin32(GetLastError(), path);
    temp.clear();
    if (target.old && options.keepTimes) {
      // Wine's ReplaceFileW reads the new file, which moves its access
      // time; the times are set once more on the file in its place.
      HANDLE h = CreateFileW(target.name.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        SetFileTime(h, nullptr, &target.old->ftLastAccessTime, &target.old->ftLastWriteTime);
        CloseHandle(h);
      }
    }
  } catch (...) {
    // Closed first: Windows does not delete a file that is still open.
    fd = Fd();
    if (!temp.empty()) DeleteFileW(temp.c_str());
    throw;
  }
}

}  // namespace

FileSink::FileSink(int fd, std::string path) : fd_(fd), path_(std::move(path)) { buffer_.reserve(1 << 17); }

void FileSink::Write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (buffer_.size() + size <= buffer_.capacity()) {
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return;
  }
  Flush();
  if (size < buffer_.capacity()) {
    buffer_.assign(bytes, bytes + size);
  } else {
    WriteAll(fd_, bytes, size, path_);  // large blocks go out as they are
  }
}

void FileSink::Flush() {
  struct Clear {
    std::vector<std::uint8_t>& buffer;
    ~Clear() { buffer.clear(); }
  } clear{buffer_};
  WriteAll(fd_, buffer_.data(), buffer_.size(), path_);
}

void WriteFileSafely(const std::string& path, const std::function<void(FileSink&)>& write,
                     const WriteOptions& options) {
  try {
    Target target = Resolve(path);
    if (target.stream.get() < 0) {
      Replace(target, path, write, options);
    } else {
      FileSink sink(target.stream.get(), path);
      write(sink);
      sink.Flush();
      if (!target.stream.Close()) RaiseWin32(ERROR_WRITE_FAULT, path);
    }
    lastWriteError.reset();
  } catch (const RuntimeError& e) {
    lastWriteError = e;
    throw;
  }
}

std::optional<RuntimeError> LastWriteError() { return lastWriteError; }

}  // namespace runtime
