// The pointer's position and the watch that spares a caller asking every
// 10 ms the round trips while nothing under the pointer changes.
#pragma once
#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "runtime/x11/connection.h"

namespace runtime::x11 {

// What the server reports about the pointer and the windows under it, so
// that a caller asking every 10 ms makes round trips, each of which wakes
// the server and then this process a second time, only after something
// changed:
//  - raw motion (XInput 2.1, on the root) for every move of a device;
//  - crossing events on the root and on the windows down to the one under
//    the pointer: a warp, or a window mapped, unmapped or raised there;
//  - structure events on the same windows: children created, moved,
//    restacked or destroyed.
// Without XInput 2.1 every call asks.
class PointerWatch {
 public:
  explicit PointerWatch(const Connection& c);

  bool Active() const { return active_; }

  // True when anything that may change what lies under the pointer was
  // reported since the last call; each such call starts a new generation.
  // Errors count (a watched window that is gone): nothing else takes events
  // from this connection, and one needless look costs less than a missed
  // change. queuedOnly reads only what earlier replies brought along,
  // without asking the socket.
  bool Changed(bool queuedOnly = false);
  std::uint64_t Generation() const { return generation_; }

  // Watches the root and path, the windows from a child of the root down to
  // the one at (x, y), and lets go of windows no longer on it.
  void Follow(std::vector<xcb_window_t> path, std::int32_t x, std::int32_t y);

 private:
  // Selects the events on windows and lets go of those watched before that
  // are not among them.
  void WatchOnly(std::vector<xcb_window_t> windows);

  // Sent without waiting: an error (the window is gone) arrives as an event.
  void Select(xcb_window_t w, std::uint32_t mask);

  static constexpr std::uint32_t kWatched =
      XCB_EVENT_MASK_ENTER_WINDOW | XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;

  xcb_connection_t* c_;
  xcb_window_t root_;
  bool active_ = false;
  std::uint64_t generation_ = 0;
  std::vector<xcb_window_t> watched_;  // the root first
  std::optional<std::pair<std::int32_t, std::int32_t>> point_;  // where watched_ was found
};

// The watch, from the second pointer query on: a run that asks once (a
// batch run's single tick) pays nothing for it. Empty before.
std::optional<PointerWatch>& ThePointerWatch();

struct PointerPosition {
  std::int32_t x = 0, y = 0;
};
// Where the pointer is, in root pixels: the last answer while it stands,
// otherwise asked of the server; nullopt when the server gives none.
std::optional<PointerPosition> QueryPointer(Connection& c);

// The top-level window (child of the root) at a root point, in one round
// trip, or none when the pointer answer that still stands is at that very
// point: its reply named the top-level already.
xcb_window_t TopLevelAt(const Connection& c, std::int32_t x, std::int32_t y);

}  // namespace runtime::x11
