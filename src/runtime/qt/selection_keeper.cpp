#include "runtime/qt/selection_keeper.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/x11/connection.h"

namespace runtime::qt {
namespace {

bool WriteAll(int fd, const std::string& data) {
  for (std::size_t done = 0; done < data.size();) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The keeper program lies beside this module, in the build tree as in the
// installed one.
std::string KeeperProgram() {
  Dl_info self{};
  if (!dladdr(reinterpret_cast<void*>(&KeepClipboardAfterExit), &self) || !self.dli_fname) return {};
  return (std::filesystem::path(self.dli_fname).parent_path() / "glimmet-clipboard").string();
}

}  // namespace

bool ClipboardManagerRuns(xcb_connection_t* c) {
  const xcb_atom_t manager = x11::InternAtoms(c, {"CLIPBOARD_MANAGER"}).front();
  if (manager == XCB_ATOM_NONE) return false;
  x11::Reply<xcb_get_selection_owner_reply_t> owner(
      xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, manager), nullptr));
  return owner && owner->owner != XCB_WINDOW_NONE;
}

bool KeepClipboardAfterExit(const SelectionTargets& targets) {
  const std::string program = KeeperProgram();
  if (program.empty() || ::access(program.c_str(), X_OK) != 0) return false;
  // The keeper gets the encoded pictures through a memory file and starts
  // as a program of its own: a fork of this process would keep the whole
  // toolkit and the screen's memory alive for as long as it serves.
  const int data = ::memfd_create("glimmet-clipboard", MFD_CLOEXEC);
  if (data < 0) return false;
  std::vector<std::string> args = {program};
  bool written = true;
  for (const auto& [name, bytes] : targets) {
    args.push_back(name);
    args.push_back(std::to_string(bytes.size()));
    written = written && WriteAll(data, bytes);
  }
  int ready[2] = {-1, -1};
  if (!written || ::lseek(data, 0, SEEK_SET) != 0 || ::pipe2(ready, O_CLOEXEC) != 0) {
    ::close(data);
    return false;
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    // Only calls safe between fork and exec: its own session, reparented
    // to init by the second fork, the memory file as input, the pipe as
    // output, and no other descriptor of this program.
    ::setsid();
    if (::fork() != 0) ::_exit(0);
    if (::chdir("/") != 0) ::_exit(1);
    const int null = ::open("/dev/null", O_RDWR);
    if (::dup2(data, 0) < 0 || ::dup2(ready[1], 1) < 0 || ::dup2(null, 2) < 0) ::_exit(1);
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(data);
  ::close(ready[1]);
  if (child > 0) ::waitpid(child, nullptr, 0);
  pollfd p{ready[0], POLLIN, 0};
  char byte = 0;
  const bool ok = child > 0 && ::poll(&p, 1, 5000) == 1 && ::read(ready[0], &byte, 1) == 1;
  ::close(ready[0]);
  return ok;
}

}  // namespace runtime::qt
