// A private X desktop (Xvfb with openbox) for the tests of one process, and
// the real X clients they drive. Tests of this folder skip when the machine
// offers no X display at all (DISPLAY unset).
#pragma once
#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/types.h"

namespace x11test {

// A child process, terminated and reaped when this goes.
class Child {
 public:
  Child() = default;
  Child(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env = {});
  Child(Child&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }
  Child& operator=(Child&& other) noexcept;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { Stop(); }

  bool Running() const { return pid_ > 0; }
  void Stop();
  // Whether the process has ended (reaping it when it has).
  bool Exited();
  // Waits for the process to end by itself; its exit status, -1 when killed.
  int Wait();

 private:
  pid_t pid_ = -1;
};

// Runs a shell command and returns what it wrote; status gets its exit code.
std::string Shell(const std::string& command, int* status = nullptr);
// Polls until done() holds; false when it never did within half a minute.
bool WaitUntil(const std::function<bool()>& done);

// An Xvfb server on a display number that is free.
class XServer {
 public:
  // nullopt when Xvfb is not installed or does not start.
  static std::optional<XServer> Start(const std::string& screen, const std::vector<std::string>& extra = {});
  const std::string& display() const { return display_; }

 private:
  Child process_;
  std::string display_;
};

// The process's private desktop: its display, or nullptr with why in reason.
// Missing programs are a reason to skip; a desktop that would not start
// up is a failure.
const char* Desktop(std::string* reason = nullptr, bool* skip = nullptr);

#define REQUIRE_DESKTOP()                                     \
  do {                                                        \
    std::string why;                                          \
    bool skip = false;                                        \
    if (!x11test::Desktop(&why, &skip)) {                     \
      if (skip) GTEST_SKIP() << why;                          \
      FAIL() << why;                                          \
    }                                                         \
  } while (0)

// An xterm with a unique title, shown and framed by the window manager.
class Xterm {
 public:
  // framed: wait for the window manager's frame too.
  explicit Xterm(const std::string& title, const std::string& geometry = "60x12+120+90",
                 const std::vector<std::string>& extra = {}, bool framed = true);
  runtime::HWND hwnd() const { return hwnd_; }
  const std::string& title() const { return title_; }
  void Close() { process_.Stop(); }

 private:
  Child process_;
  std::string title_;
  runtime::HWND hwnd_ = 0;
};

// A title no other window of the run shares.
std::string UniqueTitle(const std::string& stem);

// The root as xwd sees it, as packed RGB rows.
struct Rgb {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;  // 3 bytes per pixel
  const std::uint8_t* At(int x, int y) const { return &pixels[(static_cast<std::size_t>(y) * width + x) * 3]; }
};
Rgb XwdRoot();

}  // namespace x11test
