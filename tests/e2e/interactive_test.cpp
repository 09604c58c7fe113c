// The interactive program as a user meets it: splash, main window, the
// on-top switch, the about and help windows, and closing.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <sstream>
#include <thread>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// glimmet started with an empty command line, killed if still running.
class Interactive {
 public:
  explicit Interactive(const fs::path& configHome) {
    const std::string config = "XDG_CONFIG_HOME=" + configHome.string();
    pid_ = fork();
    if (pid_ == 0) {
      putenv(const_cast<char*>(config.c_str()));
      const int devnull = open("/dev/null", O_RDWR);
      dup2(devnull, STDIN_FILENO);
      dup2(devnull, STDERR_FILENO);
      execl(GLIMMET_BINARY, GLIMMET_BINARY, static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Interactive() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }
  // The exit status once the process has ended within the wait, else nothing.
  std::optional<int> WaitExit(std::chrono::milliseconds wait) {
    const auto end = Clock::now() + wait;
    while (!status_ && Clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      else std::this_thread::sleep_for(20ms);
    }
    return status_;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Top-level windows of a process that the window manager shows, with their names.
std::map<unsigned long, std::string> VisibleWindows(pid_t pid) {
  std::map<unsigned long, std::string> windows;
  std::string list = Shell("xprop -root _NET_CLIENT_LIST 2>/dev/null");
  std::replace(list.begin(), list.end(), ',', ' ');
  const std::regex hex("0x[0-9a-f]+");
  for (auto it = std::sregex_iterator(list.begin(), list.end(), hex); it != std::sregex_iterator(); ++it) {
    const unsigned long id = std::stoul(it->str(), nullptr, 16);
    if (Shell("xdotool getwindowpid " + std::to_string(id) + " 2>/dev/null") != std::to_string(pid) + "\n") continue;
    if (Shell("xwininfo -id " + std::to_string(id) + " 2>/dev/null").find("IsViewable") == std::string::npos) continue;
    std::string name = Shell("xdotool getwindowname " + std::to_string(id) + " 2>/dev/null");
    if (!name.empty() && name.back() == '\n') name.pop_back();
    windows[id] = name;
  }
  return windows;
}

std::optional<unsigned long> WaitForWindow(pid_t pid, const std::string& name, std::chrono::milliseconds wait,
                                          unsigned long except = 0) {
  const auto end = Clock::now() + wait;
  do {
    for (const auto& [id, title] : VisibleWindows(pid))
      if (title == name && id != except) return id;
    std::this_thread::sleep_for(50ms);
  } while (Clock::now() < end);
  return std::nullopt;
}

bool WaitUntilGone(unsigned long id, std::chrono::milliseconds wait) {
  const auto end = Clock::now() + wait;
  do {
    if (Shell("xwininfo -id " + std::to_string(id) + " 2>/dev/null").find("IsViewable") == std::string::npos) return true;
    std::this_thread::sleep_for(50ms);
  } while (Clock::now() < end);
  return false;
}

std::string Id(unsigned long id) { return std::to_string(id); }

Rect Geometry(unsigned long id) {
  const std::string info = Shell("xwininfo -id " + Id(id));
  Rect r;
  std::smatch m;
  if (std::regex_search(info, m, std::regex(R"(Absolute upper-left X:\s+(-?\d+))"))) r.x = std::stoi(m[1]);
  if (std::regex_search(info, m, std::regex(R"(Absolute upper-left Y:\s+(-?\d+))"))) r.y = std::stoi(m[1]);
  if (std::regex_search(info, m, std::regex(R"(Width:\s+(\d+))"))) r.width = std::stoi(m[1]);
  if (std::regex_search(info, m, std::regex(R"(Height:\s+(\d+))"))) r.height = std::stoi(m[1]);
  return r;
}

bool Above(unsigned long id) { return Shell("xprop -id " + Id(id) + " _NET_WM_STATE").find("_NET_WM_STATE_ABOVE") != std::string::npos; }

void Click(int x, int y) { Shell("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1"); }

// Closes a window the way its close box does.
void CloseWindow(unsigned long id) { Shell("xdotool windowactivate --sync " + Id(id) + " key --clearmodifiers alt+F4"); }

class InteractiveTest : public E2eTest {};

TEST_F(InteractiveTest, SplashMainWindowOnTopInfoWindowsAndClose) {
  Interactive app(config_->path());
  const auto started = Clock::now();

  // The splash (586 pixels wide) shows first, then closes by itself.
  std::optional<unsigned long> splash;
  while (!splash && Clock::now() - started < 1500ms) {
    for (const auto& [id, title] : VisibleWindows(app.pid()))
      if (Geometry(id).width == 586) splash = id;
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(splash) << "no splash within the first second and a half";
  const std::optional<unsigned long> main = WaitForWindow(app.pid(), "Glimmet", 6s, *splash);
  ASSERT_TRUE(main);
  EXPECT_TRUE(WaitUntilGone(*splash, 2s));
  EXPECT_GE(Clock::now() - started, 1900ms) << "the start-up blocks for two seconds";

  // The client area below the menu bar, with Start at its design place.
  const std::string tree = Shell("xwininfo -tree -id " + Id(*main));
  std::smatch client;
  ASSERT_TRUE(std::regex_search(tree, client, std::regex(R"((0x[0-9a-f]+) .*\s442x416\+0\+(\d+)\s)"))) << tree;
  EXPECT_NE(tree.find("65x25+200+328"), std::string::npos) << "Start button";
  EXPECT_NE(tree.find("355x283+72+40"), std::string::npos) << "picture frame";
  const Rect area = Geometry(std::stoul(client[1], nullptr, 16));

  // On top: the check box at (368, 328) sets and clears the above state
  // and leaves the window where it was.
  const Rect before = Geometry(*main);
  Click(area.x + 376, area.y + 344);
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(Above(*main));
  Click(area.x + 376, area.y + 344);
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(Above(*main));
  const Rect after = Geometry(*main);
  EXPECT_EQ(std::tie(before.x, before.y, before.width, before.height), std::tie(after.x, after.y, after.width, after.height));

  // Help > About, then Help > Help for Veltrix; each stays above while open.
  Shell("xdotool windowactivate --sync " + Id(*main) + " key --clearmodifiers alt+h a");
  std::optional<unsigned long> about = WaitForWindow(app.pid(), "About...", 3s);
  ASSERT_TRUE(about);
  EXPECT_TRUE(Above(*about));
  CloseWindow(*about);
  EXPECT_TRUE(WaitUntilGone(*about, 3s));

  Shell("xdotool windowactivate --sync " + Id(*main) + " key --clearmodifiers alt+h h");
  std::optional<unsigned long> help = WaitForWindow(app.pid(), "Help for Veltrix", 3s);
  ASSERT_TRUE(help);
  EXPECT_TRUE(Above(*help));
  CloseWindow(*help);
  EXPECT_TRUE(WaitUntilGone(*help, 3s));

  // The toolbar's last button (Help) opens the about window too.
  Click(area.x + 160, area.y + 12);
  about = WaitForWindow(app.pid(), "About...", 3s);
  ASSERT_TRUE(about);
  CloseWindow(*about);
  EXPECT_TRUE(WaitUntilGone(*about, 3s));

  // Closing the main window ends the program and writes the record.
  std::optional<int> status;
  for (int attempt = 0; attempt < 3 && !status; ++attempt) {
    CloseWindow(*main);
    status = app.WaitExit(3s);
  }
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, 0);
  const std::optional<fs::path> record = FindInstallationRecord(config_->path());
  ASSERT_TRUE(record);
  EXPECT_EQ(ReadRecordValues(*record)["ProductVersion"], "1.0.2");
}

}  // namespace
}  // namespace e2e
