// Batch runs given what a careless script or a hostile desktop hands them:
// paths full of key words, odd window titles, windows that are not on the
// screen or vanish mid-run, other screen depths and monitor layouts. Each
// ends with a defined status and a whole file or none.
#include <xcb/xcb.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

constexpr int kOk = 0;
constexpr int kBadArgument = 2;
constexpr int kNoTarget = 3;
using Files = std::vector<std::string>;

// Windows made straight through the protocol, for shapes no ordinary
// client produces. Override-redirect windows keep exactly the place and
// size asked for; the others are framed and listed by the window manager.
class RawWindows {
 public:
  explicit RawWindows(const char* display = nullptr) : c_(xcb_connect(display, nullptr)) {
    if (!xcb_connection_has_error(c_)) screen_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
  }
  ~RawWindows() { xcb_disconnect(c_); }
  RawWindows(const RawWindows&) = delete;
  RawWindows& operator=(const RawWindows&) = delete;
  bool ok() const { return screen_ != nullptr; }
  xcb_window_t root() const { return screen_->root; }

  xcb_window_t Create(int x, int y, int width, int height, bool overrideRedirect = true, bool inputOnly = false,
                      std::uint32_t pixel = 0x3366cc) {
    const xcb_window_t w = xcb_generate_id(c_);
    if (inputOnly) {
      const std::uint32_t values[] = {overrideRedirect};
      xcb_create_window(c_, 0, w, screen_->root, x, y, width, height, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                        XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, values);
    } else {
      // A flat colour the server paints itself.
      const std::uint32_t values[] = {pixel, overrideRedirect};
      xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, screen_->root, x, y, width, height, 0,
                        XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                        XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    }
    return w;
  }
  // WM_NAME with the given type (STRING is Latin-1) and bytes.
  void SetName(xcb_window_t w, const std::string& bytes, const char* type = "STRING") {
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, Atom(type), 8,
                        static_cast<std::uint32_t>(bytes.size()), bytes.data());
  }
  void Map(xcb_window_t w) { xcb_map_window(c_, w); }
  void Raise(xcb_window_t w) {
    const std::uint32_t above[] = {XCB_STACK_MODE_ABOVE};
    xcb_configure_window(c_, w, XCB_CONFIG_WINDOW_STACK_MODE, above);
  }
  void Destroy(xcb_window_t w) { xcb_destroy_window(c_, w); }
  // Waits until the server has done everything asked so far.
  void Sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }
  // Maps a window the window manager frames, and waits until it lists it.
  void MapManaged(xcb_window_t w) {
    Map(w);
    Sync();
    WaitUntil([&] {
      return Shell("xprop -root _NET_CLIENT_LIST").find(ToHex(w)) != std::string::npos && Viewable(w);
    });
  }
  bool Viewable(xcb_window_t w) { return x11test::Viewable(w); }

 private:
  static std::string ToHex(xcb_window_t w) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", w);
    return text;
  }
  xcb_atom_t Atom(const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = r ? r->atom : XCB_NONE;
    std::free(r);
    return atom;
  }
  xcb_connection_t* c_;
  xcb_screen_t* screen_ = nullptr;
};

class HostileInput : public E2eTest {
 protected:
  // The exit status and what glimmet wrote to stderr.
  std::pair<int, std::string> RunWithReason(const std::vector<std::string>& args) {
    std::string command = "cd " + Quote(out.path) + " && XDG_CONFIG_HOME=" + Quote(config.path) + " timeout -s KILL 120 " +
                          Quote(GLIMMET_BINARY);
    for (const std::string& arg : args) (command += ' ') += Quote(arg);
    int status = -1;
    const std::string err = Shell(command + " </dev/null 2>&1 >/dev/null", &status);
    return {status, err};
  }
  static std::string Id(xcb_window_t w) { return std::to_string(w); }
  static std::string BmpSize(const std::string& file) {
    return Shell("identify -regard-warnings -format '%w %h' " + Quote(file) + " 2>&1");
  }
};

// Paths whose folders begin with a key's letters, as Linux desktops name
// them, in any letter case and with blanks: the file lands exactly there,
// the window (not the screen) is captured, and nothing is printed.
TEST_F(HostileInput, KeyWordsInsidePathsBelongToThePath) {
  auto window = Term(UniqueTitle("Untitled - Notes"), "50x12+260+180");
  const Rect frame = FrameRect(window.id());
  const std::vector<std::string> folders = {"Pictures/Screenshots", "screenshots/printouts", "PRINT/Save=",
                                            "hwnd=/WindowText=", "My Screenshots/print outs", "save=/HWND=/screen"};
  int n = 0;
  for (const std::string& folder : folders) {
    SCOPED_TRACE(folder);
    std::filesystem::create_directories(out / folder);
    const std::string jpg = out / folder + "/c" + std::to_string(++n) + ".jpg";
    EXPECT_EQ(Run({"/WINDOWTEXT=" + window.title(), "/SAVE=" + jpg}), kOk);
    if (std::filesystem::exists(jpg)) jpegcheck::ExpectJpeg(jpg, frame.width, frame.height);
    const std::string bmp = out / folder + "/h" + std::to_string(n) + ".bmp";
    EXPECT_EQ(Run({"/save=" + bmp, "/hwnd=" + Id(window.id())}), kOk);
    EXPECT_EQ(BmpSize(bmp), std::to_string(frame.width) + " " + std::to_string(frame.height));
  }
  // Exactly those files, nothing cut short beside them.
  EXPECT_EQ(Shell("cd " + Quote(out.path) + " && find . -type f | wc -l"), std::to_string(2 * folders.size()) + "\n");
  // A key glued to a value is part of it: a handle that is no number.
  const auto [status, reason] = RunWithReason({"/HWND=" + Id(window.id()) + "/SCREEN", "/SAVE=glued.jpg"});
  EXPECT_EQ(status, kBadArgument);
  EXPECT_NE(reason.find("/SCREEN"), std::string::npos) << reason;
  EXPECT_FALSE(std::filesystem::exists(out / "glued.jpg"));
}

TEST_F(HostileInput, OddTitlesAreMatchedExactlyOrNotAtAll) {
  RawWindows x;
  ASSERT_TRUE(x.ok());
  const std::string tag = UniqueTitle("t");
  struct Case {
    const char* what;
    std::string bytes;  // as stored in WM_NAME
    const char* type;
    std::string caption;  // as given on the command line
  } cases[] = {
      {"64 kB", std::string(65536 - tag.size(), 'W') + tag, "STRING", std::string(65536 - tag.size(), 'W') + tag},
      {"Latin-1", "Caf\xe9 \xc6sir " + tag, "STRING", "Café Æsir " + tag},
      {"COMPOUND_TEXT", "\x1b%G\xe2\x9c\x93 \xe2\x80\x94 " + tag + "\x1b%@ caf\xe9", "COMPOUND_TEXT",
       "✓ — " + tag + " café"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const xcb_window_t w = x.Create(300 + 20 * n, 200, 200 + 10 * n, 120, false);
    x.SetName(w, c.bytes, c.type);
    x.MapManaged(w);
    const std::string file = out / ("title" + std::to_string(++n) + ".bmp");
    EXPECT_EQ(Run({"/WINDOWTEXT=" + c.caption, "/SAVE=" + file}), kOk);
    const Rect frame = FrameRect(w);
    EXPECT_EQ(BmpSize(file), std::to_string(frame.width) + " " + std::to_string(frame.height));
    // One character short is another caption.
    EXPECT_EQ(RunWithReason({"/WINDOWTEXT=" + c.caption.substr(0, c.caption.size() - 1), "/SAVE=miss.bmp"}).first,
              kNoTarget);
    x.Destroy(w);
    x.Sync();
  }
  // An empty caption names no window, even when untitled windows exist.
  const xcb_window_t untitled = x.Create(100, 100, 80, 60, false);
  x.SetName(untitled, "");
  x.MapManaged(untitled);
  EXPECT_EQ(Run({"/WINDOWTEXT=", "/SAVE=empty.bmp"}), kNoTarget);
  EXPECT_EQ(Run({"/WINDOWTEXT= ", "/SAVE=blank.bmp"}), kNoTarget);
  EXPECT_FALSE(std::filesystem::exists(out / "miss.bmp"));
  EXPECT_FALSE(std::filesystem::exists(out / "empty.bmp"));
  EXPECT_FALSE(std::filesystem::exists(out / "blank.bmp"));
}

// A window the screen does not show gives no picture and a reason; one the
// screen shows only in part is captured whole, black where it is off.
TEST_F(HostileInput, HandlesOfWindowsOnAndOffTheScreen) {
  RawWindows x;
  ASSERT_TRUE(x.ok());
  const Rect screen = Screen();
  const xcb_window_t inputOnly = x.Create(50, 50, 100, 100, true, true);
  const xcb_window_t unmapped = x.Create(60, 60, 100, 100);
  const xcb_window_t offRight = x.Create(screen.width + 10, 100, 100, 100);
  const xcb_window_t offAbove = x.Create(100, -500, 100, 400);
  const xcb_window_t tiny = x.Create(10, 10, 1, 1);
  const xcb_window_t huge = x.Create(-50, -40, screen.width + 200, screen.height + 100);
  for (xcb_window_t w : {inputOnly, offRight, offAbove, tiny, huge}) x.Map(w);
  x.Sync();
  auto term = Term(UniqueTitle("minimised"), "40x8+400+300");
  Shell("timeout 10 xdotool windowminimize --sync " + Id(term.id()));

  struct Case {
    const char* what;
    std::string handle;
    const char* reason;
  } refused[] = {
      {"input-only", Id(inputOnly), "input-only"},
      {"unmapped", Id(unmapped), "not shown"},
      {"minimised", Id(term.id()), "not shown"},
      {"off the right edge", Id(offRight), "off the screen"},
      {"above the top edge", Id(offAbove), "off the screen"},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.what);
    const auto [status, reason] = RunWithReason({"/HWND=" + c.handle, "/SAVE=refused.jpg"});
    EXPECT_EQ(status, kNoTarget);
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_EQ(std::count(reason.begin(), reason.end(), '\n'), 1) << reason;
  }
  // By caption too: a minimised window is found, but not captured.
  EXPECT_EQ(Run({"/WINDOWTEXT=" + term.title(), "/SAVE=refused.jpg"}), kNoTarget);
  EXPECT_EQ(out.Names(), Files{});

  EXPECT_EQ(Run({"/HWND=" + Id(x.root()), "/SAVE=root.bmp"}), kOk);
  EXPECT_EQ(BmpSize(out / "root.bmp"), std::to_string(screen.width) + " " + std::to_string(screen.height));
  EXPECT_EQ(Run({"/HWND=" + Id(tiny), "/SAVE=tiny.bmp"}), kOk);
  EXPECT_EQ(BmpSize(out / "tiny.bmp"), "1 1");
  EXPECT_EQ(Run({"/HWND=" + Id(huge), "/SAVE=huge.bmp"}), kOk);
  EXPECT_EQ(BmpSize(out / "huge.bmp"), std::to_string(screen.width + 200) + " " + std::to_string(screen.height + 100));
  // The strip left of the screen is black, the window's own colour inside.
  EXPECT_EQ(Shell("convert " + Quote(out / "huge.bmp") + " -crop 50x1+0+500 -format '%[fx:maxima.r]' info:"), "0");
  EXPECT_EQ(Shell("convert " + Quote(out / "huge.bmp") + " -format '%[hex:p{100,100}]' info:"), "3366CC");
}

// Several windows share a caption: the one on top is taken, with a window
// manager (its stacking list) and without one (the root's children).
TEST_F(HostileInput, DuplicateCaptionsGiveTheTopmost) {
  RawWindows x;
  ASSERT_TRUE(x.ok());
  const std::string caption = UniqueTitle("twin");
  const xcb_window_t older = x.Create(200, 200, 300, 150, false), newer = x.Create(260, 240, 200, 250, false);
  for (xcb_window_t w : {older, newer}) {
    x.SetName(w, caption);
    x.MapManaged(w);
  }
  for (xcb_window_t top : {older, newer, older}) {
    Shell("timeout 10 xdotool windowactivate --sync " + Id(top) + " 2>/dev/null");
    const Rect frame = FrameRect(top);
    ASSERT_EQ(Run({"/WINDOWTEXT=" + caption, "/SAVE=" + out / "top.bmp"}), kOk);
    EXPECT_EQ(BmpSize(out / "top.bmp"), std::to_string(frame.width) + " " + std::to_string(frame.height)) << top;
  }

  x11test::Child server;
  const std::string display = x11test::StartXvfb(server, "640x480x24");
  ASSERT_FALSE(display.empty());
  RawWindows bare(display.c_str());
  const xcb_window_t a = bare.Create(10, 10, 120, 80, false), b = bare.Create(30, 30, 90, 140, false);
  for (xcb_window_t w : {a, b}) {
    bare.SetName(w, caption);
    bare.Map(w);
  }
  const std::string saved = std::getenv("DISPLAY");
  for (const auto& [top, size] : {std::pair{a, "120 80"}, std::pair{b, "90 140"}, std::pair{a, "120 80"}}) {
    bare.Raise(top);
    bare.Sync();
    setenv("DISPLAY", display.c_str(), 1);
    const int status = Run({"/WINDOWTEXT=" + caption, "/SAVE=" + out / "bare.bmp"});
    setenv("DISPLAY", saved.c_str(), 1);
    ASSERT_EQ(status, kOk);
    EXPECT_EQ(BmpSize(out / "bare.bmp"), size);
  }
}

// Windows come and go while glimmet looks them up and reads them: every
// run either captures a whole picture or says nothing was captured.
TEST_F(HostileInput, WindowsDestroyedBetweenLookupAndCapture) {
  const std::string caption = UniqueTitle("flicker");
  std::atomic<bool> stop{false};
  std::atomic<xcb_window_t> current{0};
  std::thread churn([&] {
    RawWindows x;
    for (int i = 0; !stop && x.ok(); ++i) {
      const xcb_window_t w = x.Create(200 + i % 50, 150, 300, 200, i % 2 == 0);
      x.SetName(w, caption);
      x.Map(w);
      x.Sync();
      current = w;
      // Lifetimes around that of a run, so that some die half-way through one.
      std::this_thread::sleep_for(std::chrono::milliseconds(2 + (i * 37) % 80));
      x.Destroy(w);
      x.Sync();
    }
  });
  ASSERT_TRUE(WaitUntil([&] { return current != 0; }));
  int captured = 0, missed = 0;
  for (int run = 0; run < 40; ++run) {
    const std::string file = out / ("run" + std::to_string(run) + ".bmp");
    const int status = run % 2 ? RunWithReason({"/WINDOWTEXT=" + caption, "/SAVE=" + file}).first
                               : RunWithReason({"/HWND=" + std::to_string(current.load()), "/SAVE=" + file}).first;
    if (status == kOk) {
      ++captured;
      EXPECT_EQ(Shell("identify -regard-warnings -format '%m' " + Quote(file) + " 2>&1"), "BMP3") << run;
    } else {
      ++missed;
      EXPECT_EQ(status, kNoTarget) << run;
      EXPECT_FALSE(std::filesystem::exists(file)) << run;
    }
  }
  stop = true;
  churn.join();
  RecordProperty("captured", captured);
  RecordProperty("missed", missed);
}

// Other displays, run on servers of their own.
class OtherServer : public HostileInput {
 protected:
  int RunOn(const std::string& display, const std::vector<std::string>& args) {
    const std::string saved = std::getenv("DISPLAY");
    setenv("DISPLAY", display.c_str(), 1);
    const int status = Run(args);
    setenv("DISPLAY", saved.c_str(), 1);
    return status;
  }
  static std::string Rgb(const std::string& display, const std::string& source, const std::string& crop = "") {
    return Shell("DISPLAY=" + display + " " + source + " | convert - " + crop + " -depth 8 rgb:-");
  }
  static std::string Xwd(const std::string& display, const std::string& crop) {
    return Shell("DISPLAY=" + display + " xwd -root -silent | convert xwd:- " + crop + " -depth 8 rgb:-");
  }
};

// The primary monitor lies right of another one: the screen capture is
// that monitor, read at its place on the desktop.
TEST_F(OtherServer, ScreenIsThePrimaryMonitorWhereItLies) {
  x11test::Child server;
  // -noreset: the server forgets monitors when its last client leaves.
  const std::string display = x11test::StartXvfb(server, "1920x1080x24", {"-noreset"});
  ASSERT_FALSE(display.empty());
  // Flat windows the server paints, one across the monitors' border and
  // one across the bottom-right corner, so that any shift shows.
  RawWindows x(display.c_str());
  ASSERT_TRUE(x.ok());
  const struct {
    int x, y, width, height;
    std::uint32_t pixel;
  } windows[] = {{100, 100, 300, 300, 0x802020}, {900, 150, 200, 200, 0x208020},
                 {1500, 600, 40, 70, 0x202080}, {1800, 1000, 300, 300, 0xc0c040}};
  for (const auto& w : windows) x.Map(x.Create(w.x, w.y, w.width, w.height, true, false, w.pixel));
  x.Sync();
  Shell("DISPLAY=" + display + " xrandr --setmonitor '*R' 960/254x1080/286+960+0 none");
  ASSERT_NE(Shell("DISPLAY=" + display + " xrandr --listmonitors").find("*R 960/254x1080/286+960+0"), std::string::npos);

  ASSERT_EQ(RunOn(display, {"/SCREEN", "/SAVE=" + out / "primary.bmp"}), kOk);
  EXPECT_EQ(BmpSize(out / "primary.bmp"), "960 1080");
  const std::string expected = Xwd(display, "-crop 960x1080+960+0");
  ASSERT_EQ(expected.size(), 960u * 1080 * 3);
  EXPECT_TRUE(Rgb(display, "cat " + Quote(out / "primary.bmp")) == expected) << "not the pixels at +960+0";
}

// 16 bits per pixel: five and six bits a channel, widened to eight.
TEST_F(OtherServer, DepthSixteenDisplay) {
  x11test::Child server;
  const std::string display = x11test::StartXvfb(server, "640x480x16");
  ASSERT_FALSE(display.empty());
  RawWindows x(display.c_str());
  ASSERT_TRUE(x.ok());
  // Red, green, blue at full scale (5:6:5 bits), then mixed values.
  const std::uint32_t pixels[] = {0xf800, 0x07e0, 0x001f, 0x8410, 0x1234, 0xffff};
  for (int i = 0; i < 6; ++i) x.Map(x.Create(50 + 90 * i, 50 + 40 * i, 80, 120, true, false, pixels[i]));
  x.Sync();
  ASSERT_EQ(RunOn(display, {"/SCREEN", "/SAVE=" + out / "d16.bmp"}), kOk);
  ASSERT_EQ(RunOn(display, {"/SCREEN", "/SAVE=" + out / "d16.jpg"}), kOk);
  EXPECT_EQ(BmpSize(out / "d16.bmp"), "640 480");
  jpegcheck::ExpectJpeg(out / "d16.jpg", 640, 480);
  // Full-scale red stays full scale; the rest matches what xwd shows.
  EXPECT_EQ(Shell("convert " + Quote(out / "d16.bmp") + " -format '%[hex:p{60,60}]' info:"), "FF0000");
  EXPECT_EQ(Shell("DISPLAY=" + display + " xwd -root -silent | compare -metric AE -fuzz 2% xwd:- " +
                  Quote(out / "d16.bmp") + " null: 2>&1"),
            "0");
}

}  // namespace
}  // namespace e2e
