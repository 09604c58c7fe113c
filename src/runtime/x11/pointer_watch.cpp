// The pointer watch: events that tell when the pointer or the windows under
// it may have changed, and the position answered from them.
#include "runtime/x11/pointer_watch.h"

#include <xcb/xinput.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "runtime/x11/window_tree.h"

namespace runtime::x11 {
namespace {

// The last pointer query: where, over which top-level, when.
struct PointerReply {
  std::int32_t x = -1, y = -1;
  xcb_window_t child = XCB_NONE;
  std::chrono::steady_clock::time_point at;
  std::uint64_t generation = 0;  // of the watch, when asked
};
PointerReply& LastPointer() {
  static PointerReply last;
  return last;
}

// A pointer at rest is confirmed this often all the same, for what no
// event reports: a warp inside the window under it, a window that gives no
// crossing events (an input-only one) coming and going. The confirmation is
// asked for one call ahead and collected the next time, when its answer is
// already waiting, so that it costs no wait and no wake-up.
constexpr auto kPointerStill = std::chrono::milliseconds(1100);
constexpr auto kPointerCheck = std::chrono::milliseconds(1000);

// A confirmation asked for and not yet collected.
struct PointerCheck {
  xcb_query_pointer_cookie_t cookie{};
  std::chrono::steady_clock::time_point sent;
  bool pending = false;
};

// Whether the last answer still stands: nothing reported, and confirmed
// recently enough (collecting or sending a confirmation on the way).
bool PointerStands(Connection& c, PointerWatch& watch, PointerReply& last, std::chrono::steady_clock::time_point now) {
  static PointerCheck check;
  // Reports read elsewhere (with a reply) count as well.
  if (!watch.Active() || watch.Changed() || watch.Generation() != last.generation) return false;
  if (check.pending) {
    check.pending = false;
    Reply<xcb_query_pointer_reply_t> r(xcb_query_pointer_reply(c.xcb(), check.cookie, nullptr));
    if (!r || r->root_x != last.x || r->root_y != last.y || r->child != last.child) return false;
    last.at = check.sent;
  }
  if (now - last.at >= kPointerStill) return false;
  if (now - last.at >= kPointerCheck) {
    check = {xcb_query_pointer(c.xcb(), c.root()), now, true};
    xcb_flush(c.xcb());
  }
  return true;
}

}  // namespace

std::optional<PointerWatch>& ThePointerWatch() {
  static std::optional<PointerWatch> watch;
  return watch;
}

PointerWatch::PointerWatch(const Connection& c) : c_(c.xcb()), root_(c.root()) {
  const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c_, &xcb_input_id);
  if (!xi || !xi->present) return;
  // Raw events reach a selection on the root since 2.1.
  Reply<xcb_input_xi_query_version_reply_t> v(
      xcb_input_xi_query_version_reply(c_, xcb_input_xi_query_version(c_, 2, 2), nullptr));
  if (!v || v->major_version < 2 || (v->major_version == 2 && v->minor_version < 1)) return;
  struct {
    xcb_input_event_mask_t head;
    std::uint32_t bits;
  } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_MOTION};
  active_ = c.Check(xcb_input_xi_select_events_checked(c_, c.root(), 1, &mask.head));
  if (active_) WatchOnly({root_});
}

bool PointerWatch::Changed(bool queuedOnly) {
  bool changed = false;
  while (xcb_generic_event_t* e = queuedOnly ? xcb_poll_for_queued_event(c_) : xcb_poll_for_event(c_)) {
    changed = changed || !point_ || MayChangeWhatIsAt(*e, watched_, point_->first, point_->second);
    std::free(e);
  }
  if (changed) ++generation_;
  return changed;
}

void PointerWatch::Follow(std::vector<xcb_window_t> path, std::int32_t x, std::int32_t y) {
  point_ = {x, y};
  path.insert(path.begin(), root_);
  WatchOnly(std::move(path));
}

void PointerWatch::WatchOnly(std::vector<xcb_window_t> windows) {
  auto on = [](const std::vector<xcb_window_t>& list, xcb_window_t w) {
    return std::find(list.begin(), list.end(), w) != list.end();
  };
  bool sent = false;
  for (xcb_window_t w : watched_) {
    if (on(windows, w)) continue;
    Select(w, XCB_EVENT_MASK_NO_EVENT);
    sent = true;
  }
  for (xcb_window_t w : windows) {
    if (on(watched_, w)) continue;
    Select(w, kWatched);
    sent = true;
  }
  // Now, not with the next request: that may be a second away.
  if (sent) xcb_flush(c_);
  watched_ = std::move(windows);
}

void PointerWatch::Select(xcb_window_t w, std::uint32_t mask) {
  xcb_change_window_attributes(c_, w, XCB_CW_EVENT_MASK, &mask);
}

std::optional<PointerPosition> QueryPointer(Connection& c) {
  std::optional<PointerWatch>& watch = ThePointerWatch();
  static bool askedBefore = false;
  if (askedBefore && !watch) watch.emplace(c);
  askedBefore = true;
  PointerReply& last = LastPointer();
  const auto now = std::chrono::steady_clock::now();
  if (watch && PointerStands(c, *watch, last, now)) return PointerPosition{last.x, last.y};
  // The window lookups that usually follow need the atoms: their requests
  // travel with this round trip (once a run).
  c.PrefetchAtoms();
  Reply<xcb_query_pointer_reply_t> r(xcb_query_pointer_reply(c.xcb(), xcb_query_pointer(c.xcb(), c.root()), nullptr));
  if (!r) return std::nullopt;
  last = {r->root_x, r->root_y, r->child, now, watch ? watch->Generation() : 0};
  return PointerPosition{r->root_x, r->root_y};
}

xcb_window_t TopLevelAt(const Connection& c, std::int32_t x, std::int32_t y) {
  const PointerReply& last = LastPointer();
  if (last.x == x && last.y == y && std::chrono::steady_clock::now() - last.at < kPointerStill) return last.child;
  Reply<xcb_translate_coordinates_reply_t> r(xcb_translate_coordinates_reply(
      c.xcb(),
      xcb_translate_coordinates(c.xcb(), c.root(), c.root(), static_cast<std::int16_t>(x), static_cast<std::int16_t>(y)),
      nullptr));
  return r ? r->child : XCB_NONE;
}

}  // namespace runtime::x11
