#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iterator>
#include <thread>

#include "runtime/fileio.h"

namespace runtime {
namespace {

thread_local std::optional<RuntimeError> lastWriteError;

// A FIFO nobody opens for reading within this time, or whose reader takes
// nothing for this long, fails the write instead of holding the run.
constexpr auto kReaderWait = std::chrono::seconds(5);
constexpr int kStalledWriteMs = 10000;
// As many links as the kernel follows in one path.
constexpr int kMostLinks = 40;

[[noreturn]] void RaiseErrno(int err, const std::string& path) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: Raise(kErrPathNotFound, "Path not found: " + path);
    case EACCES:
    case EPERM: Raise(kErrPermissionDenied, "Permission denied: " + path);
    case EROFS: Raise(kErrPermissionDenied, "Read-only file system: " + path);
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

// A FIFO or device is written without blocking, so that a reader that
// stops reading fails the write after a while instead of holding it.
void WaitWritable(int fd, const std::string& path) {
  pollfd p{fd, POLLOUT, 0};
  int n;
  while ((n = ::poll(&p, 1, kStalledWriteMs)) < 0 && errno == EINTR) {
  }
  if (n == 0)
    Raise(kErrDeviceIO, "Device I/O error: " + path + ": nothing was read from it for " +
                            std::to_string(kStalledWriteMs / 1000) + " seconds");
}

void WriteAll(int fd, const std::uint8_t* p, std::size_t left, const std::string& path) {
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      WaitWritable(fd, path);
      continue;
    }
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

std::string Join(const std::string& dir, const std::string& name) {
  return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string UserName(uid_t uid) {
  passwd pw {}, *found = nullptr;
  char buffer[1024];
  const std::string id = "uid " + std::to_string(uid);
  if (::getpwuid_r(uid, &pw, buffer, sizeof buffer, &found) == 0 && found) return found->pw_name + (" (" + id + ")");
  return id;
}

// A link, FIFO or device decides where the bytes go, so it is used only
// when it belongs to the user running this, to root, or to the owner of its
// folder (who could have put anything there anyway); one planted by anybody
// else is refused, whether or not the kernel protects that folder.
void CheckOwner(int dir, const struct stat& entry, const std::string& what, const std::string& shown,
                const std::string& path) {
  struct stat folder {};
  if (::fstat(dir, &folder) != 0) RaiseErrno(errno, path);
  const uid_t owner = entry.st_uid;
  if (owner == ::geteuid() || owner == 0 || owner == folder.st_uid) return;
  const bool link = S_ISLNK(entry.st_mode);
  Raise(kErrPermissionDenied, "Permission denied: " + path + ": the " + what + " " + shown + " belongs to " +
                                  UserName(owner) + ", not to this user, root or the folder's owner, so it is not " +
                                  (link ? "followed" : "written into"));
}

std::deque<std::string> Components(const std::string& path) {
  std::deque<std::string> parts;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    if (slash > pos) parts.push_back(path.substr(pos, slash - pos));
    pos = slash + 1;
  }
  return parts;
}

std::string ReadLink(int dir, const std::string& name, const std::string& path) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlinkat(dir, name.c_str(), buffer, sizeof buffer);
  if (n < 0) RaiseErrno(errno, path);
  if (static_cast<std::size_t>(n) >= sizeof buffer) RaiseErrno(ENAMETOOLONG, path);
  return std::string(buffer, static_cast<std::size_t>(n));
}

bool InProc(int dir) {
  struct statfs fs {};
  return ::fstatfs(dir, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

// The kernel's own links to open files (/proc/self/fd/1) cannot be planted
// by anybody. Those to a pipe name no path and only the kernel can follow
// them; one to a device or FIFO the caller opened (a terminal, a pipe) is
// the caller's choice, whoever owns it, and is followed by the kernel too.
bool IsKernelLink(int dir, const std::string& name, const std::string& to, bool last) {
  if (to.empty() || !InProc(dir)) return false;
  if (to[0] != '/') return to.find(':') != std::string::npos;
  struct stat st {};
  return last && ::fstatat(dir, name.c_str(), &st, 0) == 0 && IsStream(st.st_mode);
}

// Opens a FIFO or device for writing without blocking; a FIFO is given a
// bounded time to get a reader. expected, when given, is what was checked
// at that name: anything else found there now is refused.
Fd OpenStream(int dir, const std::string& name, const struct stat* expected, const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + kReaderWait;
  const int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK | (expected ? O_NOFOLLOW : 0);
  for (;;) {
    Fd fd(::openat(dir, name.c_str(), flags));
    if (fd.get() >= 0) {
      struct stat st {};
      if (::fstat(fd.get(), &st) != 0) RaiseErrno(errno, path);
      if (!IsStream(st.st_mode) || (expected && (st.st_dev != expected->st_dev || st.st_ino != expected->st_ino)))
        Raise(kErrPathFileAccess, "Path/File access error: " + path + " changed while it was looked at");
      return fd;
    }
    if (errno == EINTR) continue;
    // ENXIO: a FIFO without a reader (a device without a driver says so too).
    if (errno != ENXIO || (expected && !S_ISFIFO(expected->st_mode))) RaiseErrno(errno, path);
    if (std::chrono::steady_clock::now() >= deadline)
      Raise(kErrDeviceIO, "Device I/O error: " + path + ": no program opened it for reading within " +
                              std::to_string(kReaderWait.count()) + " seconds");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// Walks path one name at a time from a held folder, as the kernel would,
// so that every link on the way (and every link a link leads to) is
// checked before it is followed and nothing can be swapped behind the walk.
// checkOnly: only the checks, stopping quietly at the first name that does
// not exist; nothing is opened for writing.
Target Resolve(const std::string& path, bool checkOnly = false) {
  if (path.empty()) Raise(kErrPathNotFound, "Path not found: (empty name)");
  if (path.size() >= PATH_MAX) RaiseErrno(ENAMETOOLONG, path);
  const bool absolute = path[0] == '/';
  Fd dir(::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) RaiseErrno(errno, path);
  std::string here = absolute ? "/" : "";  // the folder reached, as shown in reasons
  std::deque<std::string> rest = Components(path);
  int links = 0;
  bool lastFromLink = false;
  Target target;
  while (!rest.empty()) {
    const std::string name = std::move(rest.front());
    rest.pop_front();
    const bool last = rest.empty();
    if (name == "." || name == "..") {
      if (last) RaiseErrno(EISDIR, path);
      if (name == "..") {
        dir = Fd(::openat(dir.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() < 0) RaiseErrno(errno, path);
        here = Join(here, "..");
      }
      continue;
    }
    const std::string shown = Join(here, name);
    struct stat st {};
    if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (checkOnly && errno == ENOENT) return target;
      if (errno != ENOENT || !last) RaiseErrno(errno, path);
      if (lastFromLink) Raise(kErrPathNotFound, "Path not found: " + path + " is a link to nothing");
      target.dir = std::move(dir);
      target.name = name;
      return target;
    }
    if (S_ISLNK(st.st_mode)) {
      CheckOwner(dir.get(), st, "link", shown, path);
      if (++links > kMostLinks) RaiseErrno(ELOOP, path);
      const std::string to = ReadLink(dir.get(), name, path);
      if (IsKernelLink(dir.get(), name, to, last)) {
        if (last && checkOnly) return target;
        if (last) {
          target.stream = OpenStream(dir.get(), name, nullptr, path);
          return target;
        }
        dir = Fd(::openat(dir.get(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() < 0) RaiseErrno(errno, path);
        here = shown;
        continue;
      }
      if (to.empty()) RaiseErrno(ENOENT, path);
      if (to[0] == '/') {
        dir = Fd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() < 0) RaiseErrno(errno, path);
        here.assign(1, '/');  // not = "/": GCC 12 warns falsely about overlap
      }
      std::deque<std::string> more = Components(to);
      if (more.empty()) more.push_back(".");  // a link to "/"
      rest.insert(rest.begin(), more.begin(), more.end());
      lastFromLink = lastFromLink || last;
      continue;
    }
    if (!last) {
      if (!S_ISDIR(st.st_mode)) RaiseErrno(ENOTDIR, path);
      // O_NOFOLLOW: a folder swapped for a link since it was looked at is
      // refused rather than followed unchecked.
      Fd next(::openat(dir.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (next.get() < 0) RaiseErrno(errno == ELOOP ? ENOTDIR : errno, path);
      dir = std::move(next);
      here = shown;
      continue;
    }
    if (S_ISDIR(st.st_mode)) RaiseErrno(EISDIR, path);
    if (IsStream(st.st_mode)) {
      CheckOwner(dir.get(), st, S_ISFIFO(st.st_mode) ? "FIFO" : "device", shown, path);
      if (checkOnly) return target;
      target.stream = OpenStream(dir.get(), name, &st, path);
      return target;
    }
    if (!S_ISREG(st.st_mode)) Raise(kErrPathFileAccess, "Path/File access error: " + path + " is not a regular file");
    target.dir = std::move(dir);
    target.name = name;
    target.old = st;
    return target;
  }
  RaiseErrno(EISDIR, path);  // "/" or a link to it
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
    // The folder is held open, so it exists: a file system that will not
    // create files in it (/proc) is refusing permission.
    if (errno == ENOENT) RaiseErrno(EACCES, path);
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

// A run ended by SIGTERM, SIGHUP or SIGINT while it writes (a script's
// timeout) must not leave its temporary file behind: the handler removes
// it and lets the signal go on to do what it did before. A signal that
// comes while the file is being created waits until its name is known. One
// write at a time is covered; a signal that was ignored stays ignored.
constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};
std::atomic<bool> tempGuarded{false};
std::atomic<int> tempDir{-1}, creating{0}, caught{0};
char tempName[16];
struct sigaction previousActions[std::size(kEndSignals)];
bool installed[std::size(kEndSignals)];
static_assert(std::atomic<int>::is_always_lock_free);

// Whoever takes the caught signal first (the handler, or the writer once
// the name is known) removes the file and sends the signal on.
void RemoveTempAndGoOn() {
  const int signal = caught.exchange(0);
  if (signal == 0) return;
  if (const int dir = tempDir.exchange(-1); dir >= 0) ::unlinkat(dir, tempName, 0);
  for (std::size_t i = 0; i < std::size(kEndSignals); ++i)
    if (kEndSignals[i] == signal) ::sigaction(signal, &previousActions[i], nullptr);
  ::raise(signal);  // delivered, as before, once the handler returns
}

extern "C" void OnEndSignal(int signal) {
  const int saved = errno;
  caught = signal;
  if (!creating) RemoveTempAndGoOn();
  errno = saved;
}

class TempGuard {
 public:
  TempGuard() : owner_(!tempGuarded.exchange(true)) {
    if (!owner_) return;
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigfillset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
      installed[i] = ::sigaction(kEndSignals[i], nullptr, &previousActions[i]) == 0 &&
                     previousActions[i].sa_handler != SIG_IGN && ::sigaction(kEndSignals[i], &action, nullptr) == 0;
    }
  }
  ~TempGuard() {
    if (!owner_) return;
    Created(-1, {});
    for (std::size_t i = 0; i < std::size(kEndSignals); ++i)
      if (installed[i]) ::sigaction(kEndSignals[i], &previousActions[i], nullptr);
    tempGuarded = false;
  }
  TempGuard(const TempGuard&) = delete;
  TempGuard& operator=(const TempGuard&) = delete;

  void Creating() {
    if (owner_) creating = 1;
  }
  // The file is dir/name (dir -1: there is none); a signal caught meanwhile
  // takes effect now.
  void Created(int dir, const std::string& name) {
    if (!owner_) return;
    if (dir >= 0 && name.size() < sizeof tempName) {
      std::memcpy(tempName, name.c_str(), name.size() + 1);
      tempDir = dir;
    }
    creating = 0;
    RemoveTempAndGoOn();
  }
  void Forget() {
    if (owner_) tempDir = -1;
  }

 private:
  bool owner_;
};

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

void Replace(Target& target, const std::string& path, const std::function<void(FileSink&)>& write,
             const WriteOptions& options) {
  const int dir = target.dir.get();
  std::string temp;
  TempGuard guard;
  guard.Creating();
  Fd fd = CreateTemp(dir, temp, path);  // on failure, the guard's end lets a caught signal go on
  guard.Created(dir, temp);
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
    // Forgotten before the rename: after it, the temporary name may carry
    // anybody's file, which a signal must not remove.
    guard.Forget();
    if (::renameat(dir, temp.c_str(), dir, target.name.c_str()) != 0) RaiseErrno(errno, path);
    temp.clear();
  } catch (...) {
    guard.Forget();
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

void CheckNothingPlanted(const std::string& path) { Resolve(path, true); }

}  // namespace runtime
