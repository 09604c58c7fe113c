// The installed program: what `cmake --install` puts under a prefix, and
// that the program runs from there, after the tree has been moved, with
// nothing taken from the build folder.
#include <regex>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

const std::string kBuild = GLIMMET_BUILD_DIR;

// Raw 8-bit RGB pixels of a picture file.
std::string RgbPixels(const std::string& file) { return Shell("convert " + Quote(file) + " -depth 8 rgb:- 2>/dev/null"); }

// The shown top-level window called Glimmet of that process, other than the
// splash (586 pixels wide), or "". The controls are native windows with the
// same name, so only the window manager's clients count.
std::string MainWindowOf(pid_t pid) {
  const std::string clients = Shell("xprop -root _NET_CLIENT_LIST");
  std::istringstream found(
      Shell("xdotool search --onlyvisible --pid " + std::to_string(pid) + " --name '^Glimmet$' 2>/dev/null"));
  for (unsigned long id; found >> id;) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%lx", id);
    if (!std::regex_search(clients, std::regex(std::string(hex) + "\\b"))) continue;
    const int width = x11test::Geometry(id).width;  // 0 for the splash as it goes
    if (width != 586 && width != 0) return std::to_string(id);
  }
  return "";
}

class Installed : public E2eTest {
 protected:
  // Installs into a staging prefix, then moves the whole tree elsewhere, as
  // a relocated copy would be: paths fixed at install time would now fail.
  void SetUp() override {
    E2eTest::SetUp();
    if (IsSkipped()) return;
    int status = -1;
    const std::string log = Shell(Quote(GLIMMET_CMAKE) + " --install " + Quote(kBuild) + " --prefix " +
                                  Quote(root / "stage") + " 2>&1", &status);
    ASSERT_EQ(status, 0) << log;
    ASSERT_EQ(Shell("mv " + Quote(root / "stage") + " " + Quote(root / "moved") + " && echo ok"), "ok\n");
    prefix = root / "moved";
  }
  std::string Program() const { return prefix + "/bin/glimmet"; }
  // Runs a shell command in the output folder with a clean library path.
  std::string InOut(const std::string& command, int* status = nullptr) {
    return Shell("cd " + Quote(out.path) + " && env -u LD_LIBRARY_PATH XDG_CONFIG_HOME=" + Quote(config.path) + " " +
                     command,
                 status);
  }

  TempDir root;
  std::string prefix;
};

TEST_F(Installed, TreeHoldsProgramPrivateLibrariesMenuEntryIconsAndManualPage) {
  const std::string files = Shell("cd " + Quote(prefix) + " && find . -type f | sort");
  for (const char* expected : {"./bin/glimmet", "/glimmet/libglimmet_runtime.so", "/glimmet/libglimmet_qt.so",
                               "./share/applications/glimmet.desktop", "./share/man/man1/glimmet.1",
                               "./share/icons/hicolor/16x16/apps/glimmet.png", "./share/icons/hicolor/32x32/apps/glimmet.png",
                               "./share/icons/hicolor/48x48/apps/glimmet.png",
                               "./share/icons/hicolor/256x256/apps/glimmet.png"})
    EXPECT_NE(files.find(expected), std::string::npos) << expected << " missing from\n" << files;

  // Every search path is relative to the file that holds it.
  const std::string paths = Shell("cd " + Quote(prefix) + " && for f in bin/glimmet $(find lib -name '*.so'); do "
                                  "readelf -d $f | grep -E 'R(UN)?PATH' || echo \"$f: none\"; done");
  const std::regex entry(R"(path: \[([^\]]*)\])");
  for (auto m = std::sregex_iterator(paths.begin(), paths.end(), entry); m != std::sregex_iterator(); ++m)
    EXPECT_EQ((*m)[1].str().rfind("$ORIGIN", 0), 0u) << paths;
  EXPECT_EQ(paths.find(kBuild), std::string::npos) << paths;
  EXPECT_EQ(paths.find("none"), std::string::npos) << paths;

  // The menu entry starts the interactive program (no arguments) under Graphics.
  const std::string desktop = prefix + "/share/applications/glimmet.desktop";
  int status = -1;
  EXPECT_EQ(Shell("desktop-file-validate " + Quote(desktop) + " 2>&1", &status), "");
  EXPECT_EQ(status, 0);
  const std::string menu = ReadFile(desktop);
  EXPECT_NE(menu.find("\nExec=glimmet\n"), std::string::npos) << menu;
  EXPECT_NE(menu.find("\nIcon=glimmet\n"), std::string::npos) << menu;
  EXPECT_TRUE(std::regex_search(menu, std::regex(R"(\nCategories=([^\n]*;)?Graphics;)"))) << menu;

  // The manual page renders without a warning and covers the batch interface.
  const std::string page = prefix + "/share/man/man1/glimmet.1";
  EXPECT_EQ(Shell("MANWIDTH=80 man --warnings -l " + Quote(page) + " 2>&1 >/dev/null"), "");
  const std::string text = Shell("MANWIDTH=80 man -l " + Quote(page) + " 2>/dev/null | col -b");
  for (const char* needle : {"/WINDOWTEXT=", "/HWND=", "/SCREEN", "/SAVE=", "/PRINT", "EXIT STATUS", ".jpg",
                             "Installation.ini", "EXAMPLES"})
    EXPECT_NE(text.find(needle), std::string::npos) << needle;
  for (int code = 0; code <= 6; ++code)
    EXPECT_TRUE(std::regex_search(text, std::regex("\n {7}" + std::to_string(code) + " {6}\\S"))) << "status " << code;

  // Icons at their sizes; the large one is the 32-pixel icon with each pixel
  // an 8 x 8 block, so nothing was blurred or shifted.
  const std::string icons = prefix + "/share/icons/hicolor/";
  for (int size : {16, 32, 48, 256}) {
    const std::string n = std::to_string(size);
    EXPECT_EQ(Shell("identify -format '%m %wx%h' " + Quote(icons + n + "x" + n + "/apps/glimmet.png")),
              "PNG " + n + "x" + n);
  }
  const std::string small = RgbPixels(icons + "32x32/apps/glimmet.png"), large = RgbPixels(icons + "256x256/apps/glimmet.png");
  ASSERT_EQ(small.size(), 32u * 32 * 3);
  ASSERT_EQ(large.size(), 256u * 256 * 3);
  int differing = 0;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
      differing += large.compare((y * 256 + x) * 3, 3, small, ((y / 8) * 32 + x / 8) * 3, 3) != 0;
  EXPECT_EQ(differing, 0);
}

TEST_F(Installed, ProgramCapturesAndOpensItsMainWindowFromTheMovedPrefix) {
  // Its libraries resolve inside the prefix.
  const std::string resolved = InOut("LD_TRACE_LOADED_OBJECTS=1 " + Quote(Program()));
  EXPECT_NE(resolved.find("libglimmet_runtime.so => " + prefix + "/"), std::string::npos) << resolved;

  // A batch capture, run from another folder, with the record naming the prefix.
  int status = -1;
  InOut("timeout -s KILL 120 " + Quote(Program()) + " /SCREEN /SAVE=shot.jpg </dev/null", &status);
  ASSERT_EQ(status, 0);
  jpegcheck::ExpectJpeg(out / "shot.jpg", Screen().width, Screen().height);
  EXPECT_EQ(ReadRecordValues(FindInstallationRecord(config.path))["InstallDir"], prefix + "/bin");

  // The interactive start: the main window shows, with the GUI module and
  // the runtime mapped from the prefix only.
  x11test::Child app({"env", "-u", "LD_LIBRARY_PATH", "XDG_CONFIG_HOME=" + config.path, Program()});
  std::string window;
  ASSERT_TRUE(WaitUntil([&] { return !(window = MainWindowOf(app.pid())).empty(); }, 15)) << "no main window";
  const std::string maps = Shell("awk '{print $6}' /proc/" + std::to_string(app.pid()) + "/maps | grep glimmet | sort -u");
  EXPECT_NE(maps.find(prefix + "/lib/"), std::string::npos) << maps;
  EXPECT_NE(maps.find("/libglimmet_qt.so"), std::string::npos) << maps;
  EXPECT_EQ(maps.find(kBuild), std::string::npos) << maps;

  // Its icon (set once the form is shown) is the installed 32-pixel icon,
  // pixel for pixel.
  std::vector<unsigned long> argb;
  WaitUntil(
      [&] {
        std::istringstream numbers(std::regex_replace(
            Shell("xprop -id " + window + " -notype -f _NET_WM_ICON 32c ' = $0+' _NET_WM_ICON"), std::regex("[^0-9]+"), " "));
        for (unsigned long width, height; numbers >> width >> height;) {
          argb.assign(width * height, 0);
          for (auto& p : argb) numbers >> p;
          if (width == 32 && height == 32) return true;
        }
        argb.clear();
        return false;
      },
      5);
  ASSERT_EQ(argb.size(), 32u * 32) << "no 32 x 32 icon on " << window << Shell("xprop -id " + window + " | head -c 600");
  const std::string png = RgbPixels(prefix + "/share/icons/hicolor/32x32/apps/glimmet.png");
  int differing = 0;
  for (int i = 0; i < 32 * 32; ++i) {
    const char rgb[3] = {static_cast<char>(argb[i] >> 16), static_cast<char>(argb[i] >> 8), static_cast<char>(argb[i])};
    differing += (argb[i] >> 24) != 0xFF || png.compare(i * 3, 3, rgb, 3) != 0;
  }
  EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace e2e
