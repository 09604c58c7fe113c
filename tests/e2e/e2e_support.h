// Drives the built glimmet binary the way a test script does: an argv, a
// fresh configuration folder, an output folder, real X clients to capture.
#pragma once
#include <unistd.h>

#include <map>

#include "runtime/jpeg/jpeg_check.h"
#include "runtime/linux/shell.h"
#include "runtime/x11/x11_session.h"

namespace e2e {

using namespace testshell;
using x11test::FrameRect;
using x11test::Geometry;
using x11test::Rect;
using x11test::UniqueTitle;

// An xterm showing some text, so that it is not one flat colour.
inline x11test::Xterm Term(const std::string& title, const std::string& geometry = "80x24+100+100",
                           std::vector<std::string> extra = {}) {
  extra.insert(extra.end(), {"-e", "sh", "-c", "printf 'glimmet end-to-end\\n'; ls -l /; exec sleep 100000"});
  return x11test::Xterm(title, geometry, extra);
}

inline Rect Screen() { return Geometry("-root"); }

// Runs glimmet with these arguments in cwd, with XDG_CONFIG_HOME set to
// configHome and, when given, a limit on the size of files it writes (the
// signal ignored, so that writes past it fail). Its exit status, 128 +
// signal when killed; a run that hangs is killed after two minutes.
inline int RunGlimmet(const std::vector<std::string>& args, const std::string& cwd, const std::string& configHome,
                      long fileSizeLimit = 0) {
  std::string command = "cd " + Quote(cwd) + " && trap '' XFSZ && XDG_CONFIG_HOME=" + Quote(configHome);
  if (fileSizeLimit) (command += " prlimit --fsize=") += std::to_string(fileSizeLimit);
  command += " timeout -s KILL 120 " + Quote(GLIMMET_BINARY);
  for (const std::string& arg : args) (command += ' ') += Quote(arg);
  int status = -1;
  Shell(command + " </dev/null", &status);
  return status;
}

// What a run gives back: its exit status and what it wrote to stderr.
struct RunResult {
  int status = -1;
  std::string err;
};

// Like RunGlimmet, with stderr kept, a shell prefix for the command (for
// example one that drops to another user) and a shorter limit on hangs.
inline RunResult RunGlimmetWith(const std::vector<std::string>& args, const std::string& cwd,
                                const std::string& configHome, const std::string& prefix = "", int seconds = 60) {
  TempDir scratch;
  std::string command = "cd " + Quote(cwd) + " && env XDG_CONFIG_HOME=" + Quote(configHome) + " " + prefix +
                        " timeout -s KILL " + std::to_string(seconds) + " " + Quote(GLIMMET_BINARY);
  for (const std::string& arg : args) (command += ' ') += Quote(arg);
  RunResult result;
  Shell(command + " </dev/null 2>" + Quote(scratch / "err"), &result.status);
  result.err = ReadFile(scratch / "err");
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

// Base for every end-to-end case: skipped without a display; gives each test
// its own configuration folder and output folder.
class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (scripts/test starts one)";
  }
  int Run(const std::vector<std::string>& args) { return RunGlimmet(args, out.path, config.path); }

  TempDir config, out;
};

}  // namespace e2e
