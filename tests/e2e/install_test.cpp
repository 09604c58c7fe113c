// The installed program: what `cmake --install` puts under a prefix, and
// that the program runs from there, after the tree has been moved, with
// nothing taken from the build folder.
#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using Installed = E2eTest;

// Installs into a staging prefix, then moves the whole tree elsewhere, as a
// relocated copy would be: paths fixed at install time would now fail.
TEST_F(Installed, TreeInstallsAndRunsFromAMovedPrefix) {
  const std::string build = GLIMMET_BUILD_DIR;
  TempDir root;
  int status = -1;
  const std::string log =
      Shell(Quote(GLIMMET_CMAKE) + " --install " + Quote(build) + " --prefix " + Quote(root / "stage") + " 2>&1", &status);
  ASSERT_EQ(status, 0) << log;
  ASSERT_EQ(Shell("mv " + Quote(root / "stage") + " " + Quote(root / "moved") + " && echo ok"), "ok\n");
  const std::string prefix = root / "moved", program = prefix + "/bin/glimmet", icons = prefix + "/share/icons/hicolor/";

  // The menu entry starts the interactive program (no arguments) under Graphics.
  const std::string desktop = prefix + "/share/applications/glimmet.desktop";
  EXPECT_EQ(Shell("desktop-file-validate " + Quote(desktop) + " 2>&1 || echo invalid"), "");
  const std::string menu = ReadFile(desktop);
  EXPECT_NE(menu.find("\nExec=glimmet\n"), std::string::npos) << menu;
  EXPECT_NE(menu.find("\nIcon=glimmet\n"), std::string::npos) << menu;
  EXPECT_TRUE(std::regex_search(menu, std::regex(R"(\nCategories=([^\n]*;)?Graphics;)"))) << menu;

  // The manual page renders without a warning and covers the batch interface.
  const std::string page = Quote(prefix + "/share/man/man1/glimmet.1");
  EXPECT_EQ(Shell("MANWIDTH=80 man --warnings -l " + page + " 2>&1 >/dev/null"), "");
  const std::string text = Shell("MANWIDTH=80 man -l " + page + " 2>/dev/null | col -b");
  for (const char* needle : {"/WINDOWTEXT=", "/HWND=", "/SCREEN", "/SAVE=", "/PRINT", ".jpg", "Installation.ini", "EXAMPLES"})
    EXPECT_NE(text.find(needle), std::string::npos) << needle;
  for (int code = 0; code <= 6; ++code)
    EXPECT_TRUE(std::regex_search(text, std::regex("\n {7}" + std::to_string(code) + " {6}\\S"))) << "status " << code;
  // Each icon has a transparent background.
  for (const char* size : {"16x16", "32x32", "48x48", "256x256"})
    EXPECT_EQ(Shell("identify -format '%m %wx%h %[opaque]' " + Quote(icons + size + "/apps/glimmet.png")),
              std::string("PNG ") + size + " false");

  // A batch capture from another folder with a clean library path; the
  // libraries resolve inside the prefix and the record names it.
  const std::string env = "cd " + Quote(out.path) + " && env -u LD_LIBRARY_PATH XDG_CONFIG_HOME=" + Quote(config.path) + " ";
  const std::string resolved = Shell(env + "LD_TRACE_LOADED_OBJECTS=1 " + Quote(program));
  EXPECT_NE(resolved.find("libglimmet_runtime.so => " + prefix + "/"), std::string::npos) << resolved;
  Shell(env + "timeout -s KILL 120 " + Quote(program) + " /SCREEN /SAVE=shot.jpg </dev/null", &status);
  ASSERT_EQ(status, kOk);
  ExpectScreenJpeg(out / "shot.jpg");
  EXPECT_EQ(ReadRecordValues(FindInstallationRecord(config.path))["InstallDir"], prefix + "/bin");

  // The interactive start: the main window shows, the GUI module and the
  // runtime mapped from the prefix only, with the installed icon.
  x11test::Child app({"env", "-u", "LD_LIBRARY_PATH", "XDG_CONFIG_HOME=" + config.path, program});
  const unsigned long window = MainWindowOf(app.pid());
  ASSERT_NE(window, 0u) << "no main window";
  const std::string maps = Shell("awk '{print $6}' /proc/" + Id(app.pid()) + "/maps | grep glimmet | sort -u");
  EXPECT_NE(maps.find(prefix + "/lib/"), std::string::npos) << maps;
  EXPECT_NE(maps.find("/libglimmet_qt.so"), std::string::npos) << maps;
  EXPECT_EQ(maps.find(build), std::string::npos) << maps;

  std::vector<unsigned long> argb;
  WaitUntil(
      [&] {
        std::istringstream numbers(std::regex_replace(
            Shell("xprop -id " + Id(window) + " -notype -f _NET_WM_ICON 32c ' = $0+' _NET_WM_ICON"), std::regex("[^0-9]+"), " "));
        for (unsigned long width, height; numbers >> width >> height;) {
          argb.assign(width * height, 0);
          for (auto& p : argb) numbers >> p;
          if (width == 32 && height == 32) return true;
        }
        argb.clear();
        return false;
      },
      5);
  ASSERT_EQ(argb.size(), 32u * 32) << "no 32 x 32 icon on the main window";
  // The installed 32 x 32 icon is the window's, its silver background
  // transparent.
  const std::string png = Shell("convert " + Quote(icons + "32x32/apps/glimmet.png") + " -depth 8 rgba:-");
  ASSERT_EQ(png.size(), 32u * 32 * 4);
  int differing = 0, transparent = 0;
  for (int i = 0; i < 32 * 32; ++i) {
    const char rgba[4] = {static_cast<char>(argb[i] >> 16), static_cast<char>(argb[i] >> 8), static_cast<char>(argb[i]),
                          static_cast<char>(0xFF)};
    if ((argb[i] & 0xFFFFFF) == 0xC0C0C0) {
      differing += png[i * 4 + 3] != 0;
      ++transparent;
    } else {
      differing += (argb[i] >> 24) != 0xFF || png.compare(i * 4, 4, rgba, 4) != 0;
    }
  }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(transparent, 200);
}

}  // namespace
}  // namespace e2e
