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

// Windows made straight through the protocol, for shapes no ordinary
// client produces. Override-redirect windows keep exactly the place and
// size asked for; the others are framed and listed by the window manager.
class RawWindows {
 public:
  explicit RawWindows(const std::string& display = "") : c_(xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr)) {
    if (!xcb_connection_has_error(c_)) screen_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
  }
  ~RawWindows() { xcb_disconnect(c_); }
  bool ok() const { return screen_ != nullptr; }
  xcb_window_t root() const { return screen_->root; }

  // A flat colour the server paints itself, or an InputOnly window.
  xcb_window_t Create(int x, int y, int width, int height, bool overrideRedirect = true, std::uint32_t pixel = 0x3366cc,
                      bool inputOnly = false) {
    const xcb_window_t w = xcb_generate_id(c_);
    const std::uint32_t values[] = {pixel, overrideRedirect};
    xcb_create_window(c_, inputOnly ? 0 : XCB_COPY_FROM_PARENT, w, screen_->root, x, y, width, height, 0,
                      inputOnly ? XCB_WINDOW_CLASS_INPUT_ONLY : XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      inputOnly ? XCB_COPY_FROM_PARENT : screen_->root_visual,
                      inputOnly ? XCB_CW_OVERRIDE_REDIRECT : XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT,
                      inputOnly ? values + 1 : values);
    return w;
  }
  // WM_NAME with the given type (STRING is Latin-1) and bytes.
  void SetName(xcb_window_t w, const std::string& bytes, const char* type = "STRING") {
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(type)), type), nullptr);
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, atom ? atom->atom : XCB_NONE, 8,
                        static_cast<std::uint32_t>(bytes.size()), bytes.data());
    std::free(atom);
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
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", w);
    WaitUntil([&] { return Shell("xprop -root _NET_CLIENT_LIST").find(hex) != std::string::npos && x11test::Viewable(w); });
  }

 private:
  xcb_connection_t* c_;
  xcb_screen_t* screen_ = nullptr;
};

using HostileInput = E2eTest;

// Paths whose folders begin with a key's letters, as Linux desktops name
// them, in any letter case and with blanks: the file lands exactly there,
// the window (not the screen) is captured, and nothing is printed.
TEST_F(HostileInput, KeyWordsInsidePathsBelongToThePath) {
  auto window = Term(UniqueTitle("Untitled - Notes"), "50x12+260+180");
  const Rect frame = FrameRect(window.id());
  const Files folders = {"Pictures/Screenshots", "screenshots/printouts", "PRINT/Save=", "hwnd=/WindowText=",
                         "My Bildschirmfotos äöü/print outs", "save=/HWND=/screen"};
  int n = 0;
  for (const std::string& folder : folders) {
    SCOPED_TRACE(folder);
    std::filesystem::create_directories(out / folder);
    const std::string jpg = out / folder + "/c" + std::to_string(++n) + ".jpg";
    EXPECT_EQ(Run({"/WINDOWTEXT=" + window.title(), "/SAVE=" + jpg}), kOk);
    EXPECT_EQ(PictureSize(jpg), Size(frame));
    const std::string bmp = out / folder + "/h" + std::to_string(n) + ".bmp";
    EXPECT_EQ(Run({"/save=" + bmp, "/hwnd=" + Id(window.id())}), kOk);
    EXPECT_EQ(PictureSize(bmp), Size(frame));
  }
  // Exactly those files, nothing cut short beside them.
  EXPECT_EQ(Shell("cd " + Quote(out.path) + " && find . -type f | wc -l"), std::to_string(2 * folders.size()) + "\n");
  // A key glued to a value is part of it: a handle that is no number.
  const RunResult glued = RunErr({"/HWND=" + Id(window.id()) + "/SCREEN", "/SAVE=glued.jpg"});
  EXPECT_EQ(glued.status, kBadArgument);
  EXPECT_NE(glued.err.find("/SCREEN"), std::string::npos) << glued.err;
  EXPECT_FALSE(std::filesystem::exists(out / "glued.jpg"));
}

TEST_F(HostileInput, OddTitlesAreMatchedExactlyOrNotAtAll) {
  RawWindows x;
  ASSERT_TRUE(x.ok());
  const std::string tag = UniqueTitle("t"), wide = std::string(65536 - tag.size(), 'W') + tag;
  const struct {
    std::string bytes;  // as stored in WM_NAME
    const char* type;
    std::string caption;  // as given on the command line
  } cases[] = {
      {wide, "STRING", wide},
      {"Caf\xe9 \xc6sir " + tag, "STRING", "Café Æsir " + tag},
      {"\x1b%G\xe2\x9c\x93 \xe2\x80\x94 " + tag + "\x1b%@ caf\xe9", "COMPOUND_TEXT", "✓ — " + tag + " café"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type + std::to_string(n));
    const xcb_window_t w = x.Create(300 + 20 * n, 200, 200 + 10 * n, 120, false);
    x.SetName(w, c.bytes, c.type);
    x.MapManaged(w);
    const std::string file = out / ("title" + std::to_string(++n) + ".bmp");
    EXPECT_EQ(Run({"/WINDOWTEXT=" + c.caption, "/SAVE=" + file}), kOk);
    EXPECT_EQ(PictureSize(file), Size(FrameRect(w)));
    // One character short is another caption.
    EXPECT_EQ(Run({"/WINDOWTEXT=" + c.caption.substr(0, c.caption.size() - 1), "/SAVE=miss.bmp"}), kNoTarget);
    x.Destroy(w);
    x.Sync();
  }
  // An empty caption names no window, even when untitled windows exist.
  const xcb_window_t untitled = x.Create(100, 100, 80, 60, false);
  x.SetName(untitled, "");
  x.MapManaged(untitled);
  EXPECT_EQ(Run({"/WINDOWTEXT=", "/SAVE=empty.bmp"}), kNoTarget);
  EXPECT_EQ(out.Names(), (Files{"title1.bmp", "title2.bmp", "title3.bmp"}));
}

// A window the screen does not show gives no picture and a reason; one the
// screen shows only in part is captured whole, black where it is off.
TEST_F(HostileInput, HandlesOfWindowsOnAndOffTheScreen) {
  RawWindows x;
  ASSERT_TRUE(x.ok());
  const Rect screen = Screen();
  const xcb_window_t inputOnly = x.Create(50, 50, 100, 100, true, 0, true), unmapped = x.Create(60, 60, 100, 100),
                     offRight = x.Create(screen.width + 10, 100, 100, 100), offAbove = x.Create(100, -500, 100, 400),
                     tiny = x.Create(10, 10, 1, 1), huge = x.Create(-50, -40, screen.width + 200, screen.height + 100);
  for (xcb_window_t w : {inputOnly, offRight, offAbove, tiny, huge}) x.Map(w);
  x.Sync();
  auto term = Term(UniqueTitle("minimised"), "40x8+400+300");
  Shell("timeout 10 xdotool windowminimize --sync " + Id(term.id()));

  const std::pair<std::string, const char*> refused[] = {
      {"/HWND=" + Id(inputOnly), "input-only"},   {"/HWND=" + Id(unmapped), "not shown"},
      {"/HWND=" + Id(term.id()), "not shown"},    {"/WINDOWTEXT=" + term.title(), "not shown"},
      {"/HWND=" + Id(offRight), "off the screen"}, {"/HWND=" + Id(offAbove), "off the screen"},
  };
  for (const auto& [target, why] : refused) {
    const RunResult r = RunErr({target, "/SAVE=refused.jpg"});
    EXPECT_EQ(r.status, kNoTarget) << target;
    EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
  }
  EXPECT_EQ(out.Names(), Files{});

  const std::pair<xcb_window_t, std::string> shown[] = {
      {x.root(), Size(screen)}, {tiny, "1 1"}, {huge, Size({0, 0, screen.width + 200, screen.height + 100})}};
  for (const auto& [w, size] : shown) {
    EXPECT_EQ(Run({"/HWND=" + Id(w), "/SAVE=shown.bmp"}), kOk);
    EXPECT_EQ(PictureSize(out / "shown.bmp"), size);
  }
  // The strip left of the screen is black, the window's own colour inside.
  EXPECT_EQ(Shell("convert " + Quote(out / "shown.bmp") + " -crop 50x1+0+500 -format '%[fx:maxima.r]' info:"), "0");
  EXPECT_EQ(Shell("convert " + Quote(out / "shown.bmp") + " -format '%[hex:p{100,100}]' info:"), "3366CC");
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
    ASSERT_EQ(Run({"/WINDOWTEXT=" + caption, "/SAVE=top.bmp"}), kOk);
    EXPECT_EQ(PictureSize(out / "top.bmp"), Size(FrameRect(top))) << top;
  }

  x11test::Child server;
  const std::string display = x11test::StartXvfb(server, "640x480x24");
  ASSERT_FALSE(display.empty());
  RawWindows bare(display);
  const xcb_window_t a = bare.Create(10, 10, 120, 80, false), b = bare.Create(30, 30, 90, 140, false);
  for (xcb_window_t w : {a, b}) {
    bare.SetName(w, caption);
    bare.Map(w);
  }
  for (const auto& [top, size] : {std::pair{a, "120 80"}, std::pair{b, "90 140"}, std::pair{a, "120 80"}}) {
    bare.Raise(top);
    bare.Sync();
    ASSERT_EQ(Run({"/WINDOWTEXT=" + caption, "/SAVE=bare.bmp"}, "DISPLAY=" + display), kOk);
    EXPECT_EQ(PictureSize(out / "bare.bmp"), size);
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
  for (int run = 0; run < 40; ++run) {
    const std::string file = out / ("run" + std::to_string(run) + ".bmp");
    const int status = Run({run % 2 ? "/WINDOWTEXT=" + caption : "/HWND=" + Id(current.load()), "/SAVE=" + file});
    if (status == kOk) EXPECT_EQ(Shell("identify -regard-warnings -format '%m' " + Quote(file) + " 2>&1"), "BMP3") << run;
    else EXPECT_TRUE(status == kNoTarget && !std::filesystem::exists(file)) << run << ": " << status;
  }
  stop = true;
  churn.join();
}

// Displays of their own. First the primary monitor lies right of another
// one: the screen capture is that monitor, read at its place on the desktop.
// Flat windows lie across the monitors' border and the bottom-right corner,
// so that any shift shows.
TEST_F(HostileInput, PrimaryMonitorWhereItLiesAndDepthSixteen) {
  x11test::Child server;
  // -noreset: the server forgets monitors when its last client leaves.
  std::string display = x11test::StartXvfb(server, "1920x1080x24", {"-noreset"}), on = "DISPLAY=" + display + " ";
  ASSERT_FALSE(display.empty());
  RawWindows wide(display);
  ASSERT_TRUE(wide.ok());
  const int windows[][5] = {{100, 100, 300, 300, 0x802020}, {900, 150, 200, 200, 0x208020},
                            {1500, 600, 40, 70, 0x202080}, {1800, 1000, 300, 300, 0xc0c040}};
  for (const auto& w : windows) wide.Map(wide.Create(w[0], w[1], w[2], w[3], true, w[4]));
  wide.Sync();
  Shell(on + "xrandr --setmonitor '*R' 960/254x1080/286+960+0 none");
  ASSERT_NE(Shell(on + "xrandr --listmonitors").find("*R 960/254x1080/286+960+0"), std::string::npos);
  ASSERT_EQ(Run({"/SCREEN", "/SAVE=primary.bmp"}, on), kOk);
  EXPECT_EQ(PictureSize(out / "primary.bmp"), "960 1080");
  const std::string expected = Shell(on + "xwd -root -silent | convert xwd:- -crop 960x1080+960+0 -depth 8 rgb:-");
  ASSERT_EQ(expected.size(), 960u * 1080 * 3);
  EXPECT_TRUE(Shell("convert " + Quote(out / "primary.bmp") + " -depth 8 rgb:-") == expected) << "not the pixels at +960+0";

  // 16 bits per pixel: five and six bits a channel, widened to eight. Red,
  // green, blue at full scale (5:6:5 bits), then mixed values.
  display = x11test::StartXvfb(server, "640x480x16"), on = "DISPLAY=" + display + " ";
  ASSERT_FALSE(display.empty());
  RawWindows deep(display);
  ASSERT_TRUE(deep.ok());
  const std::uint32_t pixels[] = {0xf800, 0x07e0, 0x001f, 0x8410, 0x1234, 0xffff};
  for (int i = 0; i < 6; ++i) deep.Map(deep.Create(50 + 90 * i, 50 + 40 * i, 80, 120, true, pixels[i]));
  deep.Sync();
  ASSERT_EQ(Run({"/SCREEN", "/SAVE=d16.bmp"}, on), kOk);
  ASSERT_EQ(Run({"/SCREEN", "/SAVE=d16.jpg"}, on), kOk);
  jpegcheck::ExpectJpeg(out / "d16.jpg", 640, 480);
  // Full-scale red stays full scale; the rest matches what xwd shows.
  EXPECT_EQ(Shell("convert " + Quote(out / "d16.bmp") + " -format '%[hex:p{60,60}]' info:"), "FF0000");
  EXPECT_EQ(Shell(on + "xwd -root -silent | compare -metric AE -fuzz 2% xwd:- " + Quote(out / "d16.bmp") + " null: 2>&1"),
            "0");
}

}  // namespace
}  // namespace e2e
