#include "runtime/platform.h"
#include "runtime/user32.h"

namespace runtime {

bool HasDisplay() { return platform::Connect(); }

std::string NoDisplayReason() { return platform::ConnectFailure(); }

std::string ScreenNotCapturedReason() {
  const char* why = platform::Connect() ? platform::ScreenUnreadable() : nullptr;
  return std::string("the screen could not be captured") + (why ? std::string(": ") + why : "");
}

}  // namespace runtime
