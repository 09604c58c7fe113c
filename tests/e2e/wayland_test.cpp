// Runs under a real Wayland compositor: sway, headless, with its Xwayland,
// which is rootless. There the root window cannot be read (plainly it is
// refused, through shared memory it comes back as zeros): no run may write
// a black picture and report success, and the reasons name Wayland.
//
// sway refuses to run as root, so it runs as nobody, in a mount and network
// namespace of its own with a private /tmp: its Xwayland then takes display
// :0 of that namespace, never one of the machine's.
#include <gtest/gtest.h>
#include <filesystem>
#include <signal.h>

#include "e2e_support.h"

namespace e2e {
namespace {

// Starts a compositor (compositor.sh, run as nobody) in the namespace and
// keeps the folder `dir` visible in it at the same path. compositor.pid
// holds the compositor's own process id.
constexpr const char* kSessionScript = R"(set -e
dir=$1
mount --make-rprivate /
exec 3<"$dir"
mount -t tmpfs -o mode=1777 tmpfs /tmp
mkdir -p "$dir"
mount --no-canonicalize --bind /proc/self/fd/3 "$dir"
exec 3<&-
mkdir -m 1777 /tmp/.X11-unix
mkdir -m 700 /tmp/run
chown 65534:65534 /tmp/run
printf 'xwayland enable\noutput * resolution 1024x768\n' >/tmp/sway.conf
setpriv --reuid=65534 --regid=65534 --clear-groups env -i PATH=/usr/bin:/bin HOME=/tmp XDG_RUNTIME_DIR=/tmp/run \
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sh "$dir/compositor.sh" >"$dir/compositor.log" 2>&1 &
echo $! >"$dir/compositor.pid"
wait
)";

// sway, or weston with its Xwayland: a command line that starts one of them
// as the last thing it does.
class Compositor {
 public:
  explicit Compositor(const std::string& command) {
    Shell("chmod 0777 " + Quote(dir.path));
    // The namespace sees nothing of /tmp but this folder, and nobody may not
    // reach the build tree at all: the program runs from a copy in here.
    const std::string build = std::filesystem::path(GLIMMET_BINARY).parent_path();
    Shell("mkdir -m 0755 " + Quote(dir / "bin") + " && cp " + Quote(GLIMMET_BINARY) + " " + Quote(build) + "/*.so " +
          Quote(dir / "bin"));
    WriteFile(dir / "session.sh", kSessionScript);
    WriteFile(dir / "compositor.sh", "exec " + command + "\n");
    Shell("setsid unshare --mount --net sh " + Quote(dir / "session.sh") + " " + Quote(dir.path) + " </dev/null >" +
          Quote(dir / "unshare.log") + " 2>&1 &");
    if (!WaitUntil([&] { return !ReadFile(dir / "compositor.pid").empty(); }, 10)) {
      why = "the namespace did not start: " + ReadFile(dir / "unshare.log");
      return;
    }
    pid = std::stoi(ReadFile(dir / "compositor.pid"));
    // Ready once its Wayland socket and the X socket it listens on for
    // Xwayland (started on the first X client) are there.
    const bool ready = WaitUntil(
        [&] {
          return kill(pid, 0) == 0 &&
                 Inside("ls /tmp/run/ | grep -qx 'wayland-[0-9]*' && test -S /tmp/.X11-unix/X0 && echo yes") == "yes\n";
        },
        20);
    if (!ready) {
      why = "the compositor did not start: " + ReadFile(dir / "compositor.log");
      Stop();
      return;
    }
    waylandDisplay = Inside("ls /tmp/run/ | grep -x 'wayland-[0-9]*'");
    waylandDisplay.erase(waylandDisplay.find_last_not_of('\n') + 1);
  }
  ~Compositor() { Stop(); }
  Compositor(const Compositor&) = delete;
  Compositor& operator=(const Compositor&) = delete;

  bool running() const { return pid > 0; }
  // Runs a shell command in the session as its user, with nothing in the
  // environment but env (say "DISPLAY=:0"), in the shared folder.
  std::string Inside(const std::string& command, const std::string& env = "", int* status = nullptr) const {
    return Shell("nsenter -t " + std::to_string(pid) + " -m -n setpriv --reuid=65534 --regid=65534 --clear-groups " +
                     "env -i PATH=/usr/bin:/bin HOME=" + Quote(dir.path) + " XDG_RUNTIME_DIR=/tmp/run " + env +
                     " sh -c " + Quote("cd " + Quote(dir.path) + " && " + command) + " 2>&1",
                 status);
  }

  TempDir dir;
  pid_t pid = -1;
  std::string why;  // why it did not start
  std::string waylandDisplay;

 private:
  void Stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (!WaitUntil([&] { return kill(pid, 0) != 0; }, 10)) kill(pid, SIGKILL);
    pid = -1;
  }
};

// Runs glimmet in the session; the status lands in result.status, the
// output (stderr) in result.err.
RunResult RunIn(const Compositor& session, const std::string& args, const std::string& env) {
  RunResult result;
  session.Inside("XDG_CONFIG_HOME=./config " + Quote(session.dir / "bin/glimmet") + " " + args + " >/dev/null 2>err", env,
                 &result.status);
  result.err = Shell("grep -v '^QStandardPaths' " + Quote(session.dir / "err"));
  return result;
}

class Wayland : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { sway = new Compositor("sway -c /tmp/sway.conf"); }
  static void TearDownTestSuite() {
    delete sway;
    sway = nullptr;
  }
  void SetUp() override {
    if (!sway->running()) GTEST_SKIP() << "sway cannot run here: " << sway->why;
  }
  RunResult Glimmet(const std::string& args, const std::string& env) const { return RunIn(*sway, args, env); }
  std::string File(const std::string& name) const { return sway->dir / name; }
  static Compositor* sway;
};
Compositor* Wayland::sway = nullptr;

// What a picture holds: "black" when every pixel is, else its size.
std::string Look(const std::string& file) {
  if (!std::filesystem::exists(file)) return "no file";
  return Shell("convert " + Quote(file) + " -format '%[fx:maxima.r+maxima.g+maxima.b > 0 ? w : 0]x%h' info:");
}

}  // namespace

// With only DISPLAY set, Glimmet sees a rootless X server: the screen is
// refused with a reason naming Wayland and nothing is written, in either
// format; a single X window is read from the window itself and equals what
// the server gives for it.
TEST_F(Wayland, RootlessXwaylandNeverGivesABlackPicture) {
  const std::string title = "glimmet-wayland-probe";
  sway->Inside("xterm -geometry 60x15 -title " + title + " -bg '#203040' -fg '#f0e020' -e sh -c 'ls -l /; exec sleep 120' "
               ">/dev/null 2>&1 &",
               "DISPLAY=:0");
  std::string id;
  ASSERT_TRUE(WaitUntil([&] {
    id = sway->Inside("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null | head -n1", "DISPLAY=:0");
    return !id.empty();
  })) << sway->Inside("cat compositor.log");
  id.erase(id.find_last_not_of('\n') + 1);
  // xterm draws after mapping: wait until what the server gives holds still.
  std::string before, now;
  WaitUntil([&] {
    now = sway->Inside("xwd -silent -id " + id + " | md5sum", "DISPLAY=:0");
    const bool still = now == before;
    before = now;
    return still;
  });

  for (const char* name : {"screen.bmp", "screen.jpg"}) {
    SCOPED_TRACE(name);
    const RunResult r = Glimmet(std::string("/SCREEN /SAVE=") + name, "DISPLAY=:0");
    EXPECT_EQ(r.status, kNoTarget) << r.err;
    EXPECT_NE(r.err.find("rootless Xwayland on a Wayland desktop"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/HWND="), std::string::npos) << r.err;  // what to do instead
    EXPECT_EQ(Look(File(name)), "no file");
  }

  sway->Inside("xwd -silent -id " + id + " >window.xwd", "DISPLAY=:0");
  const std::string expected = Look(File("window.xwd"));
  ASSERT_NE(expected.substr(0, 2), "0x") << "the server's own picture of the window is black";
  for (const std::string& args : {"/HWND=" + id + " /SAVE=hwnd.bmp", "/WINDOWTEXT=" + title + " /SAVE=text.bmp"}) {
    SCOPED_TRACE(args);
    const std::string file = File(args.substr(args.rfind('=') + 1));
    const RunResult r = Glimmet(args, "DISPLAY=:0");
    if (r.status != kOk) {
      EXPECT_EQ(Look(file), "no file") << r.err;  // a refusal writes nothing
      continue;
    }
    EXPECT_EQ(Look(file), expected);
    EXPECT_EQ(Shell("compare -metric AE " + Quote(file) + " " + Quote(File("window.xwd")) + " null: 2>&1"), "0");
  }
}

// A Wayland session whose X display cannot be opened says so in those
// words, whether DISPLAY is missing or names no server; elsewhere the
// reason is the X11 one.
TEST_F(Wayland, NoXDisplayInAWaylandSessionNamesWayland) {
  for (const std::string& env : {"WAYLAND_DISPLAY=" + sway->waylandDisplay, std::string("XDG_SESSION_TYPE=wayland DISPLAY=:9")}) {
    SCOPED_TRACE(env);
    const RunResult r = Glimmet("/SCREEN /SAVE=none.bmp", env);
    EXPECT_EQ(r.status, 5) << r.err;
    EXPECT_NE(r.err.find("Wayland session"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("is DISPLAY set?"), std::string::npos) << r.err;
    EXPECT_EQ(Look(File("none.bmp")), "no file");
  }
  // Outside a Wayland session the reason stays as it was.
  const RunResult plain = Glimmet("/SCREEN /SAVE=none.bmp", "");
  EXPECT_EQ(plain.status, 5);
  EXPECT_EQ(plain.err, "glimmet: cannot open the X display (is DISPLAY set?)\n");
}

// On sway, which offers wlr-screencopy, the screen comes from the
// compositor: the picture equals grim's of the same output pixel for pixel,
// the X window on it included.
TEST_F(Wayland, ScreenOnSwayComesThroughScreencopy) {
  const std::string wayland = "WAYLAND_DISPLAY=" + sway->waylandDisplay;
  sway->Inside("swaybg -c '#3366cc' >/dev/null 2>&1 &", wayland);
  const std::string title = "glimmet-screencopy-probe";
  sway->Inside("xterm -geometry 40x10 -title " + title + " -bg '#f0e020' -fg '#102030' -e sh -c 'echo screencopy; "
               "exec sleep 120' >/dev/null 2>&1 &",
               "DISPLAY=:0");
  ASSERT_TRUE(WaitUntil([&] {
    return !sway->Inside("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null", "DISPLAY=:0").empty();
  })) << sway->Inside("cat compositor.log");
  // Floating, so that the background shows around it.
  sway->Inside("swaymsg -s /tmp/run/sway-ipc.*.sock '[title=\"^" + title + "$\"] floating enable'");
  // Both draw after they appear: wait until the compositor's picture holds
  // still and shows the background.
  std::string before, now, corner;
  ASSERT_TRUE(WaitUntil(
      [&] {
        now = sway->Inside("grim -t ppm ref.ppm && md5sum <ref.ppm", wayland);
        corner = Shell("convert " + Quote(File("ref.ppm")) + " -format '%[pixel:p{1,1}]' info: 2>&1");
        const bool still = now == before;
        before = now;
        return still && corner == "srgb(51,102,204)";
      },
      20))
      << corner;

  for (const std::string& env : {wayland + " DISPLAY=:0", "XDG_SESSION_TYPE=wayland " + wayland + " DISPLAY=:0"}) {
    SCOPED_TRACE(env);
    std::remove(File("screen.bmp").c_str());
    const RunResult r = Glimmet("/SCREEN /SAVE=screen.bmp", env);
    ASSERT_EQ(r.status, kOk) << r.err;
    sway->Inside("grim -t ppm ref.ppm", wayland);
    EXPECT_EQ(Look(File("screen.bmp")), "1024x768");
    EXPECT_EQ(Shell("compare -metric AE " + Quote(File("screen.bmp")) + " " + Quote(File("ref.ppm")) + " null: 2>&1"),
              "0");
  }
  const RunResult jpeg = Glimmet("/SCREEN /SAVE=screen.jpg", wayland + " DISPLAY=:0");
  EXPECT_EQ(jpeg.status, kOk) << jpeg.err;
  EXPECT_EQ(Look(File("screen.jpg")), "1024x768");
  // The xterm's yellow is in it: X windows are composed by the compositor.
  EXPECT_NE(Shell("convert " + Quote(File("screen.bmp")) + " -fill black +opaque '#f0e020' -format '%[fx:maxima.r > 0]' info:"),
            "0");
}

// weston offers no capture to programs at all: /SCREEN fails with a reason
// that names Wayland and writes nothing, with its Xwayland or without.
TEST_F(Wayland, WestonOffersNoCaptureAndSaysSo) {
  Compositor weston("weston --backend=headless-backend.so --xwayland --width=800 --height=600 --idle-time=0");
  if (!weston.running()) GTEST_SKIP() << "weston cannot run here: " << weston.why;
  const std::string wayland = "WAYLAND_DISPLAY=" + weston.waylandDisplay;
  struct Case {
    std::string env;
    int status;
    const char* reason;
  };
  for (const Case& c : {Case{wayland + " DISPLAY=:0", kNoTarget, "compositor gave none through wlr-screencopy"},
                        Case{wayland, 5, "Wayland session without an X display"}}) {
    SCOPED_TRACE(c.env);
    const RunResult r = RunIn(weston, "/SCREEN /SAVE=screen.bmp", c.env);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_EQ(Look(weston.dir / "screen.bmp"), "no file");
  }
}

}  // namespace e2e
