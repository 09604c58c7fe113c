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
  bool mapped;  // false: unmapped or input-only, never shown
};

inline constexpr runtime::HWND kRoot = 1;
inline constexpr std::int32_t kRootWidth = 40, kRootHeight = 24;

// Topmost first.
const std::vector<Window>& Windows();

// The desktop's mood for one run, and what the run wrote.
struct State {
  bool display = true;      // an X server can be reached
  bool readsFail = false;   // every screen read fails (the window vanished)
  bool writesFail = false;  // every file write fails (disk full)
  std::vector<std::string> written;  // files completed, in order
  std::string lastBytes;             // the first bytes of the last file written
};
State& Desk();

}  // namespace fakedesktop
