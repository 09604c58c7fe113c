// Drives the built glimmet binary the way a test script does: an argv, a
// fresh configuration folder, an output folder, real X clients to capture.
#pragma once
#include <unistd.h>

#include <map>
#include <regex>

#include "runtime/jpeg/jpeg_check.h"
#include "runtime/linux/shell.h"
#include "runtime/x11/x11_session.h"

namespace e2e {

using namespace testshell;
using x11test::FrameRect;
using x11test::Geometry;
using x11test::Rect;
using x11test::UniqueTitle;
using Files = std::vector<std::string>;

enum Status { kOk = 0, kBadArgument = 2, kNoTarget = 3, kSaveFailed = 4, kNotPrinted = 6 };

// An xterm showing some text, so that it is not one flat colour.
inline x11test::Xterm Term(const std::string& title, const std::string& geometry = "80x24+100+100",
                           std::vector<std::string> extra = {}) {
  extra.insert(extra.end(), {"-e", "sh", "-c", "printf 'glimmet end-to-end\\n'; ls -l /; exec sleep 100000"});
  return x11test::Xterm(title, geometry, extra);
}

inline Rect Screen() { return Geometry("-root"); }
inline std::string Id(unsigned long id) { return std::to_string(id); }
inline std::string Size(const Rect& r) { return std::to_string(r.width) + " " + std::to_string(r.height); }
// "width height" of a picture file, or ImageMagick's complaint.
inline std::string PictureSize(const std::string& file) {
  return Shell("identify -regard-warnings -format '%w %h' " + Quote(file) + " 2>&1");
}
inline void ExpectScreenJpeg(const std::string& file) { jpegcheck::ExpectJpeg(file, Screen().width, Screen().height); }
inline std::size_t Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

// What a run gives back: its exit status (128 + signal when killed) and
// what it wrote to stderr, without the toolkit's own notes.
struct RunResult {
  int status = -1;
  std::string err;
};

// Runs glimmet in cwd with XDG_CONFIG_HOME set to configHome. prefix comes
// between that setting and the program: more settings, or a command such as
// prlimit or setpriv. SIGXFSZ is ignored, so that writes past a limit fail.
inline RunResult RunGlimmet(const std::vector<std::string>& args, const std::string& cwd, const std::string& configHome,
                            const std::string& prefix = "") {
  TempDir scratch;
  std::string command = "cd " + Quote(cwd) + " && trap '' XFSZ && env XDG_CONFIG_HOME=" + Quote(configHome) + " " +
                        prefix + " timeout -s KILL 120 " + Quote(GLIMMET_BINARY);
  for (const std::string& arg : args) (command += ' ') += Quote(arg);
  RunResult result;
  Shell(command + " </dev/null >/dev/null 2>" + Quote(scratch / "err"), &result.status);
  result.err = Shell("grep -v '^QStandardPaths' " + Quote(scratch / "err"));
  return result;
}

// The installation record below a configuration folder: the file named
// Installation (or Installation.ini) under ostmarin/Tessakit/Glimmet, names
// compared without case; "" when there is none.
inline std::string FindInstallationRecord(const std::string& configHome) {
  std::string found = Shell("find " + Quote(configHome) + " -type f \\( -ipath '*/ostmarin/tessakit/glimmet/installation'" +
                            " -o -ipath '*/ostmarin/tessakit/glimmet/installation.ini' \\) | head -n1");
  if (!found.empty()) found.pop_back();
  return found;
}

// Loose reading of a key file: name=value lines, other lines ignored.
// A name that occurs twice is reported under "#duplicate".
inline std::map<std::string, std::string> ReadRecordValues(const std::string& file) {
  std::map<std::string, std::string> values;
  std::istringstream in(ReadFile(file));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    if (eq == std::string::npos || line[0] == '[' || line[0] == '#' || line[0] == ';') continue;
    std::string name = line.substr(0, eq), value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (values.count(name)) values["#duplicate"] = name;
    values[name] = value;
  }
  return values;
}

// The main window of the interactive program: its shown window named
// Glimmet whose client area is 442 x 416 (the splash shares the name).
inline unsigned long MainWindowOf(pid_t pid, int seconds = 20) {
  unsigned long found = 0;
  WaitUntil(
      [&] {
        std::istringstream ids(Shell("xdotool search --onlyvisible --pid " + Id(pid) + " --name '^Glimmet$' 2>/dev/null"));
        for (unsigned long id; ids >> id;)
          if (Shell("xwininfo -tree -id " + Id(id)).find(" 442x416+0+") != std::string::npos) found = id;
        return found != 0;
      },
      seconds);
  return found;
}

// Base for every end-to-end case: skipped without a display; gives each test
// its own configuration folder and output folder.
class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (scripts/test starts one)";
  }
  int Run(const std::vector<std::string>& args, const std::string& prefix = "") {
    return RunGlimmet(args, out.path, config.path, prefix).status;
  }
  RunResult RunErr(const std::vector<std::string>& args, const std::string& prefix = "") {
    return RunGlimmet(args, out.path, config.path, prefix);
  }

  TempDir config, out;
};

}  // namespace e2e
