#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "runtime/error.h"
#include "runtime/fileio.h"

namespace runtime {
namespace {

std::int64_t Ns(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }
timespec Ts(std::int64_t ns) {
  timespec t;
  t.tv_sec = static_cast<time_t>(ns / 1000000000);
  t.tv_nsec = static_cast<long>(ns % 1000000000);
  return t;
}

[[noreturn]] void RaiseErrno(int err, const std::string& path) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: Raise(kErrPathNotFound, "Path not found: " + path);
    case EACCES:
    case EPERM:
    case EROFS: Raise(kErrPermissionDenied, "Permission denied: " + path);
    case EISDIR: Raise(75, "Path/File access error: " + path);
    default: Raise(kErrDeviceIO, std::string("Device I/O error: ") + path + ": " + std::strerror(err));
  }
}

}  // namespace

std::optional<FileStamp> FindFile(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  FileStamp stamp;
  stamp.attributes = st.st_mode & 07777;
  stamp.owner = st.st_uid;
  stamp.group = st.st_gid;
  stamp.accessNs = Ns(st.st_atim);
  stamp.writeNs = Ns(st.st_mtim);
  stamp.creationNs = Ns(st.st_ctim);  // Linux cannot set a birth time; kept for the record
  return stamp;
}

void SetFileStamp(const std::string& path, const FileStamp& stamp) {
  const timespec times[2] = {Ts(stamp.accessNs), Ts(stamp.writeNs)};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  if (::chown(path.c_str(), stamp.owner, stamp.group) != 0) {
    // Only root may give a file away; the mode still carries over.
  }
  ::chmod(path.c_str(), stamp.attributes);
}

void WriteFileAtomically(const std::string& path,
                         const std::function<void(const std::string& tempPath)>& write) {
  namespace fs = std::filesystem;
  if (path.empty()) Raise(kErrPathNotFound, "Path not found: (empty name)");
  const fs::path target(path);
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) RaiseErrno(EISDIR, path);
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  struct stat dst {};
  if (::stat(dir.c_str(), &dst) != 0) RaiseErrno(errno, path);
  if (!S_ISDIR(dst.st_mode)) RaiseErrno(ENOTDIR, path);

  // A hidden name beside the target: same file system, so the rename is atomic.
  std::random_device rd;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = (dir / ("." + target.filename().string() + "." + std::to_string(rd() % 1000000000u) + ".tmp")).string();
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) RaiseErrno(errno, path);
  }
  if (fd < 0) RaiseErrno(EEXIST, path);
  ::close(fd);
  try {
    // No fsync: the rename alone keeps readers from ever seeing a partial
    // file, and a capture is cheap to take again after a power cut.
    write(temp);
    if (::rename(temp.c_str(), path.c_str()) != 0) RaiseErrno(errno, path);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}

}  // namespace runtime
