// Real X clients driven through the X tools (xdotool, xprop, xwininfo, xwd),
// and for the tests of this folder a private desktop (Xvfb with openbox) so
// that nothing else on the display disturbs pixel comparisons or stacking.
#pragma once
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "runtime/gdi.h"
#include "runtime/linux/shell.h"

namespace x11test {

using testshell::Quote;
using testshell::Shell;
using testshell::WaitUntil;

// A title no other window of the run shares.
inline std::string UniqueTitle(const std::string& stem) {
  static std::atomic<int> counter{0};
  return stem + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

// A child process (output silenced unless X11TEST_VERBOSE is set), ended
// with this object, and with the test process should that die halfway.
class Child {
 public:
  Child() = default;
  explicit Child(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t parent = getpid();
    if ((pid_ = fork()) != 0) return;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    if (!std::getenv("X11TEST_VERBOSE")) dup2(null, STDOUT_FILENO), dup2(null, STDERR_FILENO);
    execvp(args[0], args.data());
    _exit(127);
  }
  Child(Child&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}
  Child& operator=(Child&& other) noexcept {
    Stop();
    pid_ = std::exchange(other.pid_, -1);
    return *this;
  }
  ~Child() { Stop(); }
  pid_t pid() const { return pid_; }
  void Stop(int signal = SIGTERM) {
    if (pid_ <= 0) return;
    kill(pid_, signal);
    Reap(0);
  }
  // The exit status once the process has ended (128 + signal when killed).
  std::optional<int> Status() {
    if (pid_ > 0) Reap(WNOHANG);
    return status_;
  }

 private:
  void Reap(int flags) {
    int status = 0;
    if (waitpid(pid_, &status, flags) != pid_) return;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
  }
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Xvfb on a free display number, or "" when it does not come up. Numbers
// lie well above those people pick by hand, so that a server some script
// starts on a fixed number never meets ours.
inline std::string StartXvfb(Child& server, const std::string& screen, const std::vector<std::string>& extra = {}) {
  const int first = 100 + static_cast<int>(getpid() % 800);
  for (int number = first; number < first + 20; ++number) {
    int fds[2];
    if (pipe(fds) != 0) return "";
    std::string display = ":";  // (":" + to_string trips a false -Wrestrict in GCC 12)
    display += std::to_string(number);
    std::vector<std::string> argv{"Xvfb", display, "-displayfd", std::to_string(fds[1]),
                                  "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    server = Child(argv);
    close(fds[1]);
    // -noreset: without it the server resets whenever its last client
    // leaves (each xprop probe), and a window manager connecting during
    // that reset quits at once.
    // Xvfb writes the number once it accepts clients, and exits without a
    // word when the number is taken.
    char ch = 0;
    const bool up = read(fds[0], &ch, 1) == 1;
    close(fds[0]);
    if (up) return display;
  }
  return "";
}

// The process's private 1024x768 desktop, started on first use. Missing
// programs are a reason to skip, a desktop that would not start a failure.
struct Desktop {
  Child server, windowManager;
  std::string display, reason = "no X display available (DISPLAY is unset)";
  bool skip = true;

  static const Desktop& Get() {
    static const Desktop desktop;
    return desktop;
  }
  Desktop() {
    if (!std::getenv("DISPLAY")) return;
    reason = "Xvfb, openbox, xterm, xwd, convert, xprop or xdotool is missing";
    if (Shell("for p in Xvfb openbox xterm xwd convert xprop xdotool; do command -v $p; done | wc -l") != "7\n") return;
    skip = false;
    const std::string started = StartXvfb(server, "1024x768x24");
    reason = started.empty() ? "the private Xvfb did not start" : "openbox did not come up on " + started;
    if (started.empty()) return;
    setenv("DISPLAY", started.c_str(), 1);
    const auto ready = [] { return Shell("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") != std::string::npos; };
    // Now and then openbox quits at once when many start together; another try gets it going.
    for (int attempt = 0; attempt < 3 && display.empty(); ++attempt) {
      windowManager = Child({"openbox", "--sm-disable"});
      WaitUntil([&] { return ready() || windowManager.Status(); });
      if (ready()) display = started;
    }
  }
};

#define REQUIRE_DESKTOP()                                                        \
  do {                                                                           \
    const x11test::Desktop& desktop = x11test::Desktop::Get();                   \
    if (desktop.display.empty()) {                                               \
      if (desktop.skip) GTEST_SKIP() << desktop.reason;                          \
      FAIL() << desktop.reason;                                                  \
    }                                                                            \
  } while (0)

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << r.width << "x" << r.height << "+" << r.x << "+" << r.y;
}

// A window's place and size as xwininfo reports them ("-root" for the screen).
inline Rect Geometry(const std::string& window) {
  const std::string id = window == "-root" ? window : "-id " + window;
  Rect r;
  std::istringstream(Shell("xwininfo " + id + " 2>/dev/null | awk '/Absolute upper-left X/{x=$4} "
                           "/Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'")) >>
      r.x >> r.y >> r.width >> r.height;
  return r;
}
inline Rect Geometry(unsigned long id) { return Geometry(std::to_string(id)); }

// A client with the frame the window manager puts round it.
inline Rect FrameRect(unsigned long id) {
  const Rect c = Geometry(id);
  int left = 0, right = 0, top = 0, bottom = 0;
  std::sscanf(Shell("xprop -id " + std::to_string(id) + " _NET_FRAME_EXTENTS").c_str(),
              "_NET_FRAME_EXTENTS(CARDINAL) = %d, %d, %d, %d", &left, &right, &top, &bottom);
  return {c.x - left, c.y - top, c.width + left + right, c.height + top + bottom};
}

inline bool Above(unsigned long id) {
  return Shell("xprop -id " + std::to_string(id) + " _NET_WM_STATE").find("_NET_WM_STATE_ABOVE") != std::string::npos;
}
inline bool Viewable(unsigned long id) {
  return Shell("xwininfo -id " + std::to_string(id) + " 2>/dev/null").find("IsViewable") != std::string::npos;
}

// An xterm, found by its process (a title may hold any text), shown and,
// when framed, told its frame edges by the window manager. A test fails
// when it does not come up.
class Xterm {
 public:
  explicit Xterm(const std::string& title, const std::string& geometry = "60x12+120+90",
                 const std::vector<std::string>& extra = {}, bool framed = true)
      : title_(title) {
    std::vector<std::string> argv{"xterm", "-title", title, "-geometry", geometry};
    argv.insert(argv.end(), extra.begin(), extra.end());
    process_ = Child(argv);
    const std::string pid = std::to_string(process_.pid());
    id_ = std::strtoul(Shell("timeout 30 xdotool search --sync --onlyvisible --pid " + pid + " 2>/dev/null | head -n1").c_str(),
                       nullptr, 10);
    const std::string extents = "xprop -id " + std::to_string(id_) + " _NET_FRAME_EXTENTS 2>/dev/null";
    if (!id_) ADD_FAILURE() << "xterm '" << title << "' did not appear";
    else if (framed && !WaitUntil([&] { return Shell(extents).find(" = ") != std::string::npos; }))
      ADD_FAILURE() << "xterm '" << title << "' was not framed by the window manager";
  }
  unsigned long id() const { return id_; }
  runtime::HWND hwnd() const { return static_cast<runtime::HWND>(id_); }
  const std::string& title() const { return title_; }
  // Ends the client and waits until its window is gone.
  void Close() {
    process_.Stop(SIGKILL);
    WaitUntil([&] { return Shell("xwininfo -id " + std::to_string(id_) + " >/dev/null 2>&1 || echo gone") != ""; });
  }

 private:
  Child process_;
  std::string title_;
  unsigned long id_ = 0;
};

// The root as xwd sees it, as packed RGB rows.
struct Rgb {
  int width = 0, height = 0;
  std::string pixels;  // 3 bytes per pixel
  const std::uint8_t* At(int x, int y) const {
    return reinterpret_cast<const std::uint8_t*>(pixels.data()) + (static_cast<std::size_t>(y) * width + x) * 3;
  }
};
inline Rgb XwdRoot() {
  const Rect screen = Geometry("-root");
  std::string rgb = Shell("xwd -root -silent | convert xwd:- -depth 8 rgb:-");
  if (rgb.size() != static_cast<std::size_t>(screen.width) * screen.height * 3) return {};
  return {screen.width, screen.height, std::move(rgb)};
}

// Counts the pixels of bitmap b that differ from the root at (rootX, rootY)
// onwards; a root pixel off the screen must be black.
inline int Mismatches(const runtime::Bitmap& b, const Rgb& root, int rootX, int rootY) {
  static const std::uint8_t black[3] = {0, 0, 0};
  int bad = 0;
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const std::uint8_t* p = b.Row(y) + x * (b.bitsPixel / 8);
      const int rx = rootX + x, ry = rootY + y;
      const std::uint8_t* want = rx >= 0 && ry >= 0 && rx < root.width && ry < root.height ? root.At(rx, ry) : black;
      bad += p[2] != want[0] || p[1] != want[1] || p[0] != want[2];
    }
  return bad;
}

// Runs capture while the screen holds still (the same xwd before and after)
// and returns the screen it saw.
template <typename Capture>
Rgb Steady(Capture capture) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    Rgb before = XwdRoot();
    capture();
    if (!before.pixels.empty() && before.pixels == XwdRoot().pixels) return before;
  }
  ADD_FAILURE() << "the screen never held still";
  return {};
}

}  // namespace x11test
