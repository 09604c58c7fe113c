#include "x11_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "runtime/user32.h"

namespace x11test {

Child::Child(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // A test process that dies halfway must not leave servers and clients behind.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    if (!std::getenv("X11TEST_VERBOSE")) {
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    execvp(args[0], args.data());
    _exit(127);
  }
}

Child& Child::operator=(Child&& other) noexcept {
  if (this != &other) {
    Stop();
    pid_ = other.pid_;
    other.pid_ = -1;
  }
  return *this;
}

void Child::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

bool Child::Exited() {
  if (pid_ <= 0) return true;
  if (waitpid(pid_, nullptr, WNOHANG) != pid_) return false;
  pid_ = -1;
  return true;
}

int Child::Wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Shell(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[65536];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int rc = pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

bool WaitUntil(const std::function<bool()>& done) {
  // A bound against hanging, not a measure: nothing asserts on speed.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    usleep(10000);
  }
  return done();
}

std::optional<XServer> XServer::Start(const std::string& screen, const std::vector<std::string>& extra) {
  if (Shell("command -v Xvfb").empty()) return std::nullopt;
  // Numbers well above the ones people pick by hand, so that a server some
  // script starts on a fixed number never meets ours.
  const int first = 100 + static_cast<int>(getpid() % 800);
  for (int number = first; number < first + 20; ++number) {
    int fds[2];
    if (pipe(fds) != 0) return std::nullopt;
    XServer server;
    std::string display = ":";
    display += std::to_string(number);
    std::vector<std::string> argv{"Xvfb", display, "-displayfd", std::to_string(fds[1]),
                                  "-screen", "0", screen, "-nolisten", "tcp"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    server.process_ = Child(argv);
    close(fds[1]);
    // Xvfb writes the number once it accepts clients; it exits without a
    // word when the number is taken.
    std::string written;
    char ch;
    while (read(fds[0], &ch, 1) == 1 && ch != '\n') written += ch;
    close(fds[0]);
    if (written.empty()) continue;
    server.display_ = display;
    return server;
  }
  return std::nullopt;
}

namespace {

bool WindowManagerReady() {
  return Shell("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos;
}

struct Session {
  std::optional<XServer> server;
  Child windowManager;
  bool ok = false;
  bool skip = true;
  std::string reason = "no X display available (DISPLAY is unset)";

  Session() {
    if (!std::getenv("DISPLAY")) return;
    reason = "Xvfb, openbox, xterm, xwd or convert is missing";
    for (const char* program : {"Xvfb", "openbox", "xterm", "xwd", "convert", "xprop", "xdotool"})
      if (Shell(std::string("command -v ") + program).empty()) return;
    skip = false;
    // A desktop of our own: tests running beside us on the shared display
    // cannot disturb pixel comparisons or window stacking.
    server = XServer::Start("1024x768x24");
    reason = "the private Xvfb did not start";
    if (!server) return;
    setenv("DISPLAY", server->display().c_str(), 1);
    // Now and then openbox quits at once when many start together; another
    // try gets it going.
    for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
      windowManager = Child({"openbox", "--sm-disable"});
      WaitUntil([&] { return WindowManagerReady() || windowManager.Exited(); });
      ok = WindowManagerReady();
    }
    reason = "openbox did not come up on " + server->display();
  }
  ~Session() { windowManager.Stop(); }
};

}  // namespace

const char* Desktop(std::string* reason, bool* skip) {
  static Session session;
  if (reason) *reason = session.reason;
  if (skip) *skip = session.skip;
  return session.ok ? session.server->display().c_str() : nullptr;
}

std::string UniqueTitle(const std::string& stem) {
  static std::atomic<int> counter{0};
  return stem + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

Xterm::Xterm(const std::string& title, const std::string& geometry, const std::vector<std::string>& extra,
             bool framed)
    : title_(title) {
  std::vector<std::string> argv{"xterm", "-title", title, "-geometry", geometry};
  argv.insert(argv.end(), extra.begin(), extra.end());
  process_ = Child(argv);
  WaitUntil([&] {
    hwnd_ = runtime::FindWindowA(nullptr, title.c_str());
    if (!hwnd_) return false;
    // Framed, shown and told where its frame edges are.
    const std::string info = Shell("xwininfo -id " + std::to_string(hwnd_) + " 2>/dev/null");
    const std::string extents = Shell("xprop -id " + std::to_string(hwnd_) + " _NET_FRAME_EXTENTS 2>/dev/null");
    return info.find("IsViewable") != std::string::npos && (!framed || extents.find(" = ") != std::string::npos);
  });
}

Rgb XwdRoot() {
  Rgb image;
  const std::string size = Shell("xwininfo -root | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w, h}'");
  std::istringstream(size) >> image.width >> image.height;
  const std::string rgb = Shell("xwd -root -silent | convert xwd:- -depth 8 rgb:-");
  if (rgb.size() != static_cast<std::size_t>(image.width) * image.height * 3) return {};
  image.pixels.assign(rgb.begin(), rgb.end());
  return image;
}

}  // namespace x11test
