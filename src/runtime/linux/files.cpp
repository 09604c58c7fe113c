#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "runtime/fileio.h"

namespace runtime {
namespace {

thread_local std::optional<RuntimeError> lastWriteError;

[[noreturn]] void RaiseErrno(int err, const std::string& path) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: Raise(kErrPathNotFound, "Path not found: " + path);
    case EACCES:
    case EPERM:
    case EROFS: Raise(kErrPermissionDenied, "Permission denied: " + path);
    case EISDIR: Raise(kErrPathFileAccess, "Path/File access error: " + path + " is a folder");
    default: Raise(kErrDeviceIO, "Device I/O error: " + path + ": " + std::strerror(err));
  }
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, so that a late write error (NFS, quota) is seen.
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

void WriteAll(int fd, const std::uint8_t* p, std::size_t left, const std::string& path) {
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) RaiseErrno(n < 0 ? errno : EIO, path);
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

bool IsStream(mode_t mode) { return S_ISCHR(mode) || S_ISFIFO(mode); }

// Where the bytes go: a device or FIFO opened for streaming, or a name in a
// folder (held open, so nothing above it can be swapped) whose regular file,
// if any, is replaced.
struct Target {
  Fd stream;
  Fd dir;
  std::string name;
  std::optional<struct stat> old;
};

std::pair<std::string, std::string> Split(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

Target Resolve(const std::string& path) {
  if (path.empty()) Raise(kErrPathNotFound, "Path not found: (empty name)");
  if (path.size() >= PATH_MAX) RaiseErrno(ENAMETOOLONG, path);
  Target target;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) RaiseErrno(EISDIR, path);
    if (IsStream(st.st_mode)) {
      // No O_CREAT, no O_TRUNC, and the kind is checked again on the
      // descriptor: a name swapped for a link to a regular file in between
      // is never written into.
      Fd fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
      if (fd.get() < 0) RaiseErrno(errno, path);
      if (::fstat(fd.get(), &st) == 0 && IsStream(st.st_mode)) {
        target.stream = std::move(fd);
        return target;
      }
    } else if (!S_ISREG(st.st_mode)) {
      Raise(kErrPathFileAccess, "Path/File access error: " + path + " is not a regular file");
    }
  } else if (errno != ENOENT) {
    RaiseErrno(errno, path);
  }

  std::string real = path;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char buffer[PATH_MAX];
    if (!::realpath(path.c_str(), buffer)) {
      if (errno == ENOENT) Raise(kErrPathNotFound, "Path not found: " + path + " is a link to nothing");
      RaiseErrno(errno, path);
    }
    real = buffer;
  }
  auto [dir, name] = Split(real);
  if (name.empty() || name == "." || name == "..") RaiseErrno(EISDIR, path);
  target.dir = Fd(::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (target.dir.get() < 0) RaiseErrno(errno, path);
  target.name = name;
  if (::fstatat(target.dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(st.st_mode)) RaiseErrno(EISDIR, path);
    if (!S_ISREG(st.st_mode)) Raise(kErrPathFileAccess, "Path/File access error: " + path + " changed while it was looked at");
    target.old = st;
  } else if (errno != ENOENT) {
    RaiseErrno(errno, path);
  }
  return target;
}

// A new private file under a short random name in dir: any target name
// that fits the folder leaves room for it, and O_EXCL|O_NOFOLLOW means a
// name planted in advance is never opened.
Fd CreateTemp(int dir, std::string& name, const std::string& path) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[8];
    if (::getrandom(random, sizeof random, 0) != sizeof random) RaiseErrno(errno, path);
    name = ".gl";
    for (unsigned char r : random) name += kChars[r % (sizeof kChars - 1)];
    Fd fd(::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() >= 0) return fd;
    if (errno != EEXIST) RaiseErrno(errno, path);
  }
  RaiseErrno(EEXIST, path);
}

mode_t Umask() {
  // Read from the kernel where it tells, since setting the mask to learn it
  // would leave a window in which another thread creates files with a
  // wrong one.
  if (FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned value = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f)) found = std::sscanf(line, "Umask: %o", &value) == 1;
    std::fclose(f);
    if (found) return static_cast<mode_t>(value & 0777);
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

// Gives the new file what the old one had, through its descriptor only.
void Stamp(int fd, const struct stat& old, const WriteOptions& options) {
  mode_t mode = old.st_mode & 07777;
  if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
    // Only root may give a file away; without that, set-id bits would
    // change meaning, so they go.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) mode &= ~mode_t(S_ISUID | S_ISGID);
  }
  ::fchmod(fd, mode);
  if (options.keepTimes) {
    const timespec times[2] = {old.st_atim, old.st_mtim};
    ::futimens(fd, times);
  }
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

void Replace(Target& target, const std::string& path, const std::function<void(FileSink&)>& write,
             const WriteOptions& options) {
  const int dir = target.dir.get();
  std::string temp;
  Fd fd = CreateTemp(dir, temp, path);
  try {
    FileSink sink(fd.get(), path);
    write(sink);
    sink.Flush();
    if (target.old) {
      Stamp(fd.get(), *target.old, options);
      // Only an overwrite needs the data on disk before the rename: a crash
      // must not leave the old file gone and the new one empty.
      if (::fdatasync(fd.get()) != 0) RaiseErrno(errno, path);
    } else {
      ::fchmod(fd.get(), 0666 & ~Umask());
    }
    struct stat mine {}, named {};
    if (::fstat(fd.get(), &mine) != 0) RaiseErrno(errno, path);
    if (fd.Close() != 0) RaiseErrno(errno, path);
    // Renaming is the one step that has to go by name; someone who swapped
    // the temporary name for something else gets it refused, not renamed.
    if (::fstatat(dir, temp.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(mine, named))
      Raise(kErrDeviceIO, "Device I/O error: " + path + ": its temporary file was replaced by another program");
    if (::renameat(dir, temp.c_str(), dir, target.name.c_str()) != 0) RaiseErrno(errno, path);
    temp.clear();
  } catch (...) {
    if (!temp.empty()) ::unlinkat(dir, temp.c_str(), 0);
    throw;
  }
}

// Writing into a pipe whose reader went away must fail the write, not
// kill the process before it can report.
class NoSigpipe {
 public:
  NoSigpipe() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &old_);
  }
  ~NoSigpipe() { ::sigaction(SIGPIPE, &old_, nullptr); }
  NoSigpipe(const NoSigpipe&) = delete;
  NoSigpipe& operator=(const NoSigpipe&) = delete;

 private:
  struct sigaction old_ {};
};

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
      NoSigpipe guard;
      FileSink sink(target.stream.get(), path);
      write(sink);
      sink.Flush();
      if (target.stream.Close() != 0) RaiseErrno(errno, path);
    }
    lastWriteError.reset();
  } catch (const RuntimeError& e) {
    lastWriteError = e;
    throw;
  }
}

std::optional<RuntimeError> LastWriteError() { return lastWriteError; }

}  // namespace runtime
