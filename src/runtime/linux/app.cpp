#include "runtime/app.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace runtime {
namespace {

// Started with a standard descriptor closed (glimmet ... 2>&-), the program
// would hand that number to the next file it opens, its connection to the X
// server, and write its reasons into it. Each one missing is opened on
// /dev/null before anything else runs.
[[gnu::constructor]] void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int null = ::open("/dev/null", O_RDWR);  // the lowest free number: fd itself
    if (null > 2) ::close(null);
  }
}

}  // namespace

Application& App() {
  static Application app;
  return app;
}

void InitApp(int argc, char** argv) {
  Application& app = App();
  app.Command.clear();
  for (int i = 1; i < argc; ++i) {
    if (i > 1) app.Command += ' ';
    app.Command += argv[i];
  }
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) exe = std::filesystem::absolute(argc > 0 ? argv[0] : "glimmet", ec);
  app.Path = exe.parent_path().string();
  app.EXEName = exe.stem().string();
}

void WriteStandardError(std::string_view text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

std::tm LocalTime(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

}  // namespace runtime
