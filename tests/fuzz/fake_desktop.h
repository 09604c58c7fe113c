// A small desktop held in memory behind the runtime's platform interfaces
// (window services, screen reads, file writes), so that the batch run can be
// driven millions of times without an X server or a disk.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/types.h"

namespace fakedesktop {

struct Window {
  runtime::HWND id;
  std::string caption;
  std::int32_t x, y, width, height;
  enum State { OnScreen, Unmapped, InputOnly } state;
};

inline constexpr runtime::HWND kRoot = 1;
inline constexpr std::int32_t kRootWidth = 40, kRootHeight = 24;
// The primary monitor: the right half of the root.
inline constexpr std::int32_t kPrimaryLeft = 20, kPrimaryWidth = 20;

// Topmost first.
const std::vector<Window>& Windows();

struct Settings {
  bool display = true;       // an X server can be reached
  bool readsFail = false;    // every screen read fails (the window vanished)
  bool writesFail = false;   // every file write fails (disk full)
};

// What one batch run did to the desktop.
struct Journal {
  std::vector<runtime::HWND> reads;  // windows read from, in order
  std::vector<std::string> written;  // files completed, in order
  std::string lastBytes;             // the first bytes of the last file written
};

Settings& Setup();
Journal& Log();
// Clears the journal for the next run.
void Reset();

}  // namespace fakedesktop
