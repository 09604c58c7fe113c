// The interactive program as a user meets it: splash, main window, the
// on-top switch, the about and help windows, and closing.
#include <chrono>
#include <regex>
#include <thread>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using x11test::Above;

// The top-level windows of a process that the window manager shows, with their names.
std::map<unsigned long, std::string> VisibleWindows(pid_t pid) {
  std::map<unsigned long, std::string> windows;
  std::istringstream list(Shell("for w in $(xprop -root _NET_CLIENT_LIST | grep -o '0x[0-9a-f]*'); do "
                                "[ \"$(xdotool getwindowpid $w 2>/dev/null)\" = " + std::to_string(pid) + " ] && "
                                "xwininfo -id $w 2>/dev/null | grep -q IsViewable && "
                                "echo \"$((w)) $(xdotool getwindowname $w 2>/dev/null)\"; done"));
  unsigned long id = 0;
  for (std::string name; list >> id && std::getline(list, name);) windows[id] = name.empty() ? name : name.substr(1);
  return windows;
}

// A shown window of the process with that name (other than except), or 0.
unsigned long WaitForWindow(pid_t pid, const std::string& name, int seconds, unsigned long except = 0) {
  unsigned long found = 0;
  x11test::WaitUntil(
      [&] {
        for (const auto& [id, title] : VisibleWindows(pid))
          if (title == name && id != except) found = id;
        return found != 0;
      },
      seconds);
  return found;
}

bool WaitUntilGone(unsigned long id) { return WaitUntil([&] { return !x11test::Viewable(id); }, 3); }

std::string Id(unsigned long id) { return std::to_string(id); }

void Click(int x, int y) { Shell("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1"); }

void Keys(unsigned long id, const std::string& keys) {
  Shell("xdotool windowactivate --sync " + Id(id) + " key --clearmodifiers " + keys);
}

using InteractiveTest = E2eTest;

TEST_F(InteractiveTest, SplashMainWindowOnTopInfoWindowsAndClose) {
  x11test::Child app({"env", "XDG_CONFIG_HOME=" + config.path, GLIMMET_BINARY});
  const auto started = Clock::now();

  // The splash (586 pixels wide) shows first, then closes by itself.
  unsigned long splash = 0;
  while (!splash && Clock::now() - started < 1500ms) {
    for (const auto& [id, title] : VisibleWindows(app.pid()))
      if (Geometry(id).width == 586) splash = id;
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_NE(splash, 0u) << "no splash within the first second and a half";
  const unsigned long main = WaitForWindow(app.pid(), "Glimmet", 6, splash);
  ASSERT_NE(main, 0u);
  EXPECT_TRUE(WaitUntilGone(splash));
  EXPECT_GE(Clock::now() - started, 1900ms) << "the start-up blocks for two seconds";

  // The client area below the menu bar, with Start at its design place.
  const std::string tree = Shell("xwininfo -tree -id " + Id(main));
  std::smatch client;
  ASSERT_TRUE(std::regex_search(tree, client, std::regex(R"((0x[0-9a-f]+) .*\s442x416\+0\+(\d+)\s)"))) << tree;
  EXPECT_NE(tree.find("65x25+200+328"), std::string::npos) << "Start button";
  EXPECT_NE(tree.find("355x283+72+40"), std::string::npos) << "picture frame";
  const Rect area = Geometry(std::stoul(client[1], nullptr, 16));

  // On top: the check box at (368, 328) sets and clears the above state
  // and leaves the window where it was.
  const Rect before = Geometry(main);
  Click(area.x + 376, area.y + 344);
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(Above(main));
  Click(area.x + 376, area.y + 344);
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(Above(main));
  EXPECT_EQ(Geometry(main), before);

  // Help > About, then Help > Help for Veltrix, and the toolbar's last
  // button (Help), which opens the about window too; each stays above
  // while open and closes the way its close box does.
  const std::pair<std::function<void()>, std::string> opens[] = {
      {[&] { Keys(main, "alt+h a"); }, "About..."},
      {[&] { Keys(main, "alt+h h"); }, "Help for Veltrix"},
      {[&] { Click(area.x + 160, area.y + 12); }, "About..."},
  };
  for (const auto& [open, name] : opens) {
    SCOPED_TRACE(name);
    open();
    const unsigned long window = WaitForWindow(app.pid(), name, 3);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(Above(window));
    Keys(window, "alt+F4");
    EXPECT_TRUE(WaitUntilGone(window));
  }

  // Closing the main window ends the program and writes the record.
  std::optional<int> status;
  for (int attempt = 0; attempt < 3 && !status; ++attempt) {
    Keys(main, "alt+F4");
    WaitUntil([&] { return (status = app.Status()).has_value(); }, 3);
  }
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, 0);
  const std::string record = FindInstallationRecord(config.path);
  ASSERT_FALSE(record.empty());
  EXPECT_EQ(ReadRecordValues(record)["ProductVersion"], "1.0.2");
}

}  // namespace
}  // namespace e2e
