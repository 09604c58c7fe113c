// The interactive program as a user meets it: splash, main window, the
// about and help windows, and closing.
#include <chrono>
#include <cstring>
#include <thread>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using x11test::Above;

// A shown top-level window (one the window manager lists) of the process
// for which is(id, name) holds, or 0 when none does within the time.
unsigned long WaitForWindow(pid_t pid, const std::function<bool(unsigned long, const std::string&)>& is, int seconds) {
  unsigned long found = 0;
  WaitUntil(
      [&] {
        std::istringstream list(Shell("for w in $(xprop -root _NET_CLIENT_LIST | grep -o '0x[0-9a-f]*'); do "
                                      "[ \"$(xdotool getwindowpid $w 2>/dev/null)\" = " + Id(pid) + " ] && "
                                      "xwininfo -id $w 2>/dev/null | grep -q IsViewable && "
                                      "echo \"$((w)) $(xdotool getwindowname $w 2>/dev/null)\"; done"));
        std::string name;
        for (unsigned long id; !found && list >> id && std::getline(list, name);)
          if (is(id, name.empty() ? name : name.substr(1))) found = id;
        return found != 0;
      },
      seconds);
  return found;
}
unsigned long WaitForWindow(pid_t pid, const std::string& name, int seconds = 3) {
  return WaitForWindow(pid, [&](unsigned long, const std::string& n) { return n == name; }, seconds);
}

bool WaitUntilGone(unsigned long id) { return WaitUntil([&] { return !x11test::Viewable(id); }, 3); }
void Keys(unsigned long id, const std::string& keys) {
  Shell("xdotool windowactivate --sync " + Id(id) + " key --clearmodifiers " + keys);
}

// A window's own pixels (what it shows, children included), as packed RGB.
x11test::Rgb WindowImage(unsigned long id) {
  const Rect r = Geometry(id);
  std::string rgb = Shell("xwd -silent -id " + Id(id) + " | convert xwd:- -depth 8 rgb:-");
  if (rgb.size() != static_cast<std::size_t>(r.width) * r.height * 3) return {};
  return {r.width, r.height, std::move(rgb)};
}

// The columns [x0, x1) of rows [y0, y1) in which not every pixel has the
// colour of the column's top one: where text or a control's drawing runs.
std::vector<int> MarkedColumns(const x11test::Rgb& image, int x0, int x1, int y0, int y1) {
  std::vector<int> marked;
  for (int x = x0; x < x1; ++x)
    for (int y = y0 + 1; y < y1; ++y)
      if (std::memcmp(image.At(x, y), image.At(x, y0), 3) != 0) {
        marked.push_back(x);
        break;
      }
  return marked;
}

// The child window of w x h pixels in a window's tree, or 0.
unsigned long ChildOfSize(unsigned long id, int w, int h) {
  std::smatch m;
  const std::string tree = Shell("xwininfo -tree -id " + Id(id));
  if (!std::regex_search(tree, m, std::regex("(0x[0-9a-f]+) .* " + std::to_string(w) + "x" + std::to_string(h) + "\\+")))
    return 0;
  return std::stoul(m[1], nullptr, 16);
}

using InteractiveTest = E2eTest;

TEST_F(InteractiveTest, SplashMainWindowInfoWindowsAndClose) {
  x11test::Child app({"env", "XDG_CONFIG_HOME=" + config.path, GLIMMET_BINARY});
  const auto started = Clock::now();

  // The splash (586 pixels wide) shows first, then closes by itself, not
  // before the two seconds the start-up blocks.
  const unsigned long splash =
      WaitForWindow(app.pid(), [](unsigned long id, const std::string&) { return Geometry(id).width == 586; }, 2);
  ASSERT_NE(splash, 0u) << "no splash within the first seconds";
  const unsigned long main = MainWindowOf(app.pid(), 6);
  ASSERT_NE(main, 0u);
  EXPECT_TRUE(WaitUntilGone(splash));
  EXPECT_GE(Clock::now() - started, 1900ms);

  // Text and option circles stay inside the option frames' borders: the
  // two border columns on either side run unbroken, and two more inside
  // the right one are clear of the captions ("Screen", "10 sec").
  for (const auto& [w, h] : {std::pair{57, 105}, std::pair{57, 89}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " frame");
    const unsigned long frame = ChildOfSize(main, w, h);
    ASSERT_NE(frame, 0u);
    const x11test::Rgb image = WindowImage(frame);
    ASSERT_EQ(image.width, w);
    EXPECT_EQ(MarkedColumns(image, 0, 2, 2, h - 2), std::vector<int>{});
    EXPECT_EQ(MarkedColumns(image, w - 4, w, 2, h - 2), std::vector<int>{});
  }

  // Help > About and Help > Help for Veltrix: each stays above while open
  // and closes by Enter on its focused OK button or as its close box does.
  const struct {
    const char *open, *name, *close;
  } windows[] = {{"alt+h a", "About...", "Return"}, {"alt+h h", "Help for Veltrix", "alt+F4"}};
  for (const auto& w : windows) {
    SCOPED_TRACE(w.name);
    Keys(main, w.open);
    const unsigned long window = WaitForWindow(app.pid(), w.name);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(Above(window));
    if (w.close[0] == 'R') {
      // The about text lies whole inside the window, clear of its edges.
      std::this_thread::sleep_for(300ms);
      const x11test::Rgb image = WindowImage(window);
      ASSERT_GT(image.width, 300);
      EXPECT_EQ(MarkedColumns(image, 0, 8, 120, 180), std::vector<int>{});
      EXPECT_EQ(MarkedColumns(image, image.width - 8, image.width, 120, 180), std::vector<int>{});
      EXPECT_GT(MarkedColumns(image, 0, image.width, 120, 180).size(), 200u) << "and it is there";
    }
    Keys(window, w.close);
    EXPECT_TRUE(WaitUntilGone(window));
  }

  // Closing the main window ends the program and writes the record.
  std::optional<int> status;
  for (int attempt = 0; attempt < 3 && !status; ++attempt) {
    Keys(main, "alt+F4");
    WaitUntil([&] { return (status = app.Status()).has_value(); }, 3);
  }
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, kOk);
  EXPECT_EQ(ReadRecordValues(FindInstallationRecord(config.path))["ProductVersion"], "1.0.2");
}

}  // namespace
}  // namespace e2e
