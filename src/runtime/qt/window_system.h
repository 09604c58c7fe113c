// What the toolkit peers need from the window system beneath the toolkit:
// which of the toolkit's platforms to start, a flush of its requests, where
// the server has a window's client area, and a wait until the window
// manager has taken a hidden window's frame down. Each window system
// implements it for the toolkit module (X11: runtime/x11/qt/window_system.cpp),
// so that the peers themselves speak no window system.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>

namespace runtime::qt {

struct ScreenPoint {
  int x = 0, y = 0;
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;
  // Takes the running toolkit's own connection, so that what is asked here
  // queues behind the toolkit's requests.
  virtual void Attach() = 0;
  // Sends the toolkit's buffered requests now: requests made outside the
  // event loop would otherwise wait until the next pump.
  virtual void Flush() = 0;
  // Where the server has the window's client area now, in screen pixels;
  // the toolkit's own idea of it misses moves made by others (the user
  // through the window manager).
  virtual std::optional<ScreenPoint> ClientOrigin(std::uintptr_t window) = 0;
  // Returns once nothing of the hidden window is on screen any more, its
  // frame included, or after half a second.
  virtual void WaitUntilOffScreen(std::uintptr_t window) = 0;
};

// Called before the toolkit starts: the display's window system, with the
// toolkit told which of its platforms to load; nullptr when no display can
// be reached (the toolkit would end the process instead of failing).
std::unique_ptr<WindowSystem> OpenWindowSystem();

}  // namespace runtime::qt
