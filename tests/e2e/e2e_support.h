// Drives the built glimmet binary the way a test script does: an argv, a
// fresh configuration folder, an output folder, real X clients to capture.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

// A folder under the system's temp folder, removed with everything in it.
class TempDir {
 public:
  explicit TempDir(const std::string& tag);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

struct RunOptions {
  fs::path cwd;
  fs::path configHome;             // becomes XDG_CONFIG_HOME
  std::optional<long> fileSizeLimit;  // RLIMIT_FSIZE in bytes, so writes fail with EFBIG
};

// Runs glimmet with these arguments (each one argv element, the program
// path not included) and gives its exit status, or 128 + signal.
int RunGlimmet(const std::vector<std::string>& args, const RunOptions& options);

// Runs a shell command; gives its standard output. status gets the exit status.
std::string Shell(const std::string& command, int* status = nullptr);
std::string Quote(const std::string& text);

// A unique window title for this process.
std::string UniqueTitle(const std::string& stem);

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Size& size);

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

// An xterm with a unique title, mapped and framed by the window manager
// before the constructor returns; killed by the destructor.
class Xterm {
 public:
  explicit Xterm(const std::string& title, const std::string& geometry = "80x24+100+100",
                 const std::vector<std::string>& extraArgs = {});
  ~Xterm();
  Xterm(const Xterm&) = delete;
  Xterm& operator=(const Xterm&) = delete;

  unsigned long id() const { return id_; }
  const std::string& title() const { return title_; }
  Rect FrameRect() const;  // the window with its decorations, in root coordinates
  void Kill();              // ends the client and waits until its window is gone

 private:
  std::string title_;
  pid_t pid_ = -1;
  unsigned long id_ = 0;
};

Size ScreenSize();

struct JpegInfo {
  Size size;
  std::string colorspace;
  std::string sampling;
  int quality = 0;
};
std::optional<JpegInfo> ReadJpegInfo(const fs::path& file);

struct BmpInfo {
  Size size;
  int bitsPerPixel = 0;
  bool bottomUp = false;
};
std::optional<BmpInfo> ReadBmpInfo(const fs::path& file);

std::string ReadFile(const fs::path& file);
void WriteFile(const fs::path& file, const std::string& content);
std::vector<std::string> ListDir(const fs::path& dir);

// The installation record below a configuration folder: the file named
// Installation (or Installation.ini) under ostmarin/Tessakit/Glimmet, names
// compared without case.
std::optional<fs::path> FindInstallationRecord(const fs::path& configHome);
// Loose reading of a key file: name=value lines, other lines ignored.
// A name that occurs twice is reported under "#duplicate".
std::map<std::string, std::string> ReadRecordValues(const fs::path& file);

// Base for every end-to-end case: skipped without a display; gives each test
// its own configuration folder and output folder.
class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  int Run(const std::vector<std::string>& args);
  int RunIn(const fs::path& cwd, const std::vector<std::string>& args);

  std::optional<TempDir> config_;
  std::optional<TempDir> out_;
};

}  // namespace e2e
