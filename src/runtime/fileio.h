// Writing a file so that a reader never sees a partial one, a failed write
// loses nothing, and nobody who can write the target's folder can turn the
// write against the user running it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/error.h"

namespace runtime {

// Takes the bytes of a file being written and passes them on in large
// blocks; raises a run-time error naming the path when they cannot be
// written.
class FileSink {
 public:
  FileSink(int fd, std::string path);
  void Write(const void* data, std::size_t size);
  void Flush();

 private:
  int fd_;
  std::string path_;
  std::vector<std::uint8_t> buffer_;
};

struct WriteOptions {
  bool keepTimes = false;  // a replaced file's access and write times carry over
};

// Writes path with write(sink), which must write the whole contents or
// raise. What is at path decides how:
// - a regular file is replaced: the new contents go to a private temporary
//   file beside it, which gets the old file's mode, owner and group (and
//   times when asked), is synced and then renamed over it;
// - a symbolic link is resolved once and the file it names is replaced; the
//   link stays; a link to nothing is refused;
// - a character device or FIFO is written into, streaming; a FIFO gets a
//   bounded time to find a reader and each write a bounded time to proceed;
// - a link, FIFO or device (at the end or on the way) is used only when it
//   belongs to this user, to root or to the owner of its folder;
// - nothing: a new file, given the mode the umask allows;
// - a folder, or anything else, is refused.
// The temporary file is only ever used through its descriptor. On failure
// nothing partial is left and an old file is untouched; raises a run-time
// error with a description naming the path.
void WriteFileSafely(const std::string& path, const std::function<void(FileSink&)>& write,
                     const WriteOptions& options = {});

// Raises the error WriteFileSafely(path) would meet from a link, FIFO or
// device of another user on the way, before anything is created there; the
// part of the path that does not exist yet is not looked at.
void CheckNothingPlanted(const std::string& path);

// The error of the last WriteFileSafely on this thread that failed, for
// callers that learn of the failure only as a code from a layer between.
std::optional<RuntimeError> LastWriteError();

}  // namespace runtime
