// Window services: finding, measuring and inspecting windows.
#include "runtime/user32.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include <xcb/xinput.h>

#include "runtime/x11/connection.h"
#include "runtime/x11/window_tree.h"

namespace runtime {
namespace {

using namespace x11;

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

HWND ToHandle(xcb_window_t w) { return static_cast<HWND>(w); }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The window manager's clients, topmost first; without one, the viewable
// top-levels found in the tree, topmost first.
std::vector<xcb_window_t> TopLevelClients(const Connection& c) {
  if (c.WindowManagerRunning()) {
    // Both lists run bottom to top (the plain one in the order of mapping).
    auto list = GetProperty32(c, c.root(), c.atoms().netClientListStacking, XCB_ATOM_WINDOW);
    if (list.empty()) list = GetProperty32(c, c.root(), c.atoms().netClientList, XCB_ATOM_WINDOW);
    if (!list.empty()) return {list.rbegin(), list.rend()};
  }
  const auto tree = QueryTree(c, c.root());
  if (!tree) return {};
  std::vector<xcb_get_window_attributes_cookie_t> cookies;
  for (auto it = tree->children.rbegin(); it != tree->children.rend(); ++it)
    cookies.push_back(xcb_get_window_attributes(c.xcb(), *it));
  std::vector<xcb_window_t> viewable;
  for (std::size_t i = 0; i < cookies.size(); ++i) {
    const auto a = TakeReply(xcb_get_window_attributes_reply, c.xcb(), cookies[i]);
    if (a && a->map_state == XCB_MAP_STATE_VIEWABLE) viewable.push_back(tree->children[tree->children.size() - 1 - i]);
  }
  std::vector<xcb_window_t> clients;
  for (xcb_window_t w : viewable) {
    const xcb_window_t client = ClientIn(c, w);
    clients.push_back(client != XCB_NONE ? client : w);
  }
  return clients;
}

bool ClassMatches(const Connection& c, xcb_window_t w, const char* className) {
  if (!className || !*className) return true;
  for (const std::string& part : WindowClass(c, w))
    if (EqualsIgnoringCase(part, className)) return true;
  return false;
}

bool Viewable(const Connection& c, xcb_get_window_attributes_cookie_t cookie) {
  const auto a = TakeReply(xcb_get_window_attributes_reply, c.xcb(), cookie);
  return a && a->map_state == XCB_MAP_STATE_VIEWABLE && a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
}

// A window found under a point, with its inner origin in root pixels.
struct Found {
  xcb_window_t window = XCB_NONE;
  std::int32_t x = 0, y = 0;
};

// The topmost viewable child of parent (inner origin at ox, oy) that holds
// the root point (x, y): two round trips, the children asked for together.
Found ChildAt(const Connection& c, xcb_window_t parent, std::int32_t ox, std::int32_t oy, std::int32_t x,
              std::int32_t y) {
  const auto tree = QueryTree(c, parent);
  if (!tree) return {};
  std::vector<std::pair<xcb_get_window_attributes_cookie_t, xcb_get_geometry_cookie_t>> cookies;
  for (auto it = tree->children.rbegin(); it != tree->children.rend(); ++it)
    cookies.emplace_back(xcb_get_window_attributes(c.xcb(), *it), xcb_get_geometry(c.xcb(), *it));
  Found found;
  for (std::size_t i = 0; i < cookies.size(); ++i) {
    const xcb_window_t w = tree->children[tree->children.size() - 1 - i];
    const bool viewable = Viewable(c, cookies[i].first);
    const auto g = TakeGeometry(c, cookies[i].second);
    if (found.window != XCB_NONE || !viewable || !g) continue;  // replies are still collected
    const int b = g->border_width;
    const Rect outer{ox + g->x, oy + g->y, g->width + 2 * b, g->height + 2 * b};
    if (outer.Contains(x, y)) found = {w, outer.x + b, outer.y + b};
  }
  return found;
}

}  // namespace

const char* WhyNotOnScreen(HWND hwnd) {
  Connection* c = Connection::Get();
  if (!c) return "cannot be reached: no display";
  switch (WindowPresence(*c, ToWindow(hwnd))) {
    case Presence::Gone: return "does not exist";
    case Presence::Unmapped: return "is not shown (unmapped or minimised)";
    case Presence::InputOnly: return "is an input-only window and has no pixels";
    case Presence::OffScreen: return "lies entirely off the screen";
    case Presence::OnScreen: break;
  }
  return nullptr;
}

HWND FindWindowA(const char* className, const char* caption) {
  Connection* c = Connection::Get();
  if (!c) return 0;
  const auto clients = TopLevelClients(*c);
  const auto names = WindowNames(*c, clients);
  for (std::size_t i = 0; i < clients.size(); ++i) {
    if (caption && (!names[i] || *names[i] != caption)) continue;
    if (ClassMatches(*c, clients[i], className)) return ToHandle(clients[i]);
  }
  return 0;
}

bool GetWindowRect(HWND hwnd, RECT* rect) {
  if (!rect) return false;
  *rect = {};
  Connection* c = Connection::Get();
  if (!c) return false;
  const auto r = OuterRect(*c, ToWindow(hwnd));
  if (!r) return false;
  *rect = {r->x, r->y, r->x + r->width, r->y + r->height};
  return true;
}

HWND GetDesktopWindow() {
  Connection* c = Connection::Get();
  return c ? ToHandle(c->root()) : 0;
}

namespace {

// A pointer at rest is confirmed this often all the same, for what no
// event reports: a warp inside the window under it, a window that gives no
// crossing events (an input-only one) coming and going. The confirmation is
// asked for one call ahead and collected the next time, when its answer is
// already waiting, so that it costs no wait and no wake-up.
constexpr auto kPointerStill = std::chrono::milliseconds(1100);
constexpr auto kPointerCheck = std::chrono::milliseconds(1000);

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
  explicit PointerWatch(const Connection& c) : c_(c.xcb()), root_(c.root()) {
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

  bool Active() const { return active_; }

  // True when anything that may change what lies under the pointer was
  // reported since the last call; each such call starts a new generation.
  // Errors count (a watched window that is gone): nothing else takes events
  // from this connection, and one needless look costs less than a missed
  // change. queuedOnly reads only what earlier replies brought along,
  // without asking the socket.
  bool Changed(bool queuedOnly = false) {
    bool changed = false;
    while (xcb_generic_event_t* e = queuedOnly ? xcb_poll_for_queued_event(c_) : xcb_poll_for_event(c_)) {
      changed = changed || !point_ || MayChangeWhatIsAt(*e, watched_, point_->first, point_->second);
      std::free(e);
    }
    if (changed) ++generation_;
    return changed;
  }
  std::uint64_t Generation() const { return generation_; }

  // Watches the root and path, the windows from a child of the root down to
  // the one at (x, y), and lets go of windows no longer on it.
  void Follow(std::vector<xcb_window_t> path, std::int32_t x, std::int32_t y) {
    point_ = {x, y};
    path.insert(path.begin(), root_);
    WatchOnly(std::move(path));
  }

 private:
  // Selects the events on windows and lets go of those watched before that
  // are not among them.
  void WatchOnly(std::vector<xcb_window_t> windows) {
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

  // Sent without waiting: an error (the window is gone) arrives as an event.
  void Select(xcb_window_t w, std::uint32_t mask) { xcb_change_window_attributes(c_, w, XCB_CW_EVENT_MASK, &mask); }

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
std::optional<PointerWatch>& Watch() {
  static std::optional<PointerWatch> watch;
  return watch;
}

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

bool GetCursorPos(POINTAPI* point) {
  if (!point) return false;
  *point = {};
  Connection* c = Connection::Get();
  if (!c) return false;
  std::optional<PointerWatch>& watch = Watch();
  static bool askedBefore = false;
  if (askedBefore && !watch) watch.emplace(*c);
  askedBefore = true;
  PointerReply& last = LastPointer();
  const auto now = std::chrono::steady_clock::now();
  if (watch && PointerStands(*c, *watch, last, now)) {
    *point = {last.x, last.y};
    return true;
  }
  // The window lookups that usually follow need the atoms: their requests
  // travel with this round trip (once a run).
  c->PrefetchAtoms();
  Reply<xcb_query_pointer_reply_t> r(
      xcb_query_pointer_reply(c->xcb(), xcb_query_pointer(c->xcb(), c->root()), nullptr));
  if (!r) return false;
  *point = {r->root_x, r->root_y};
  last = {r->root_x, r->root_y, r->child, now, watch ? watch->Generation() : 0};
  return true;
}

namespace {

// The top-level window (child of the root) at a root point, in one round
// trip, or none when the pointer answer that still stands is at that very
// point: its reply named the top-level already.
xcb_window_t TopLevelAt(const Connection& c, std::int32_t x, std::int32_t y) {
  const PointerReply& last = LastPointer();
  if (last.x == x && last.y == y && std::chrono::steady_clock::now() - last.at < kPointerStill) return last.child;
  Reply<xcb_translate_coordinates_reply_t> r(xcb_translate_coordinates_reply(
      c.xcb(),
      xcb_translate_coordinates(c.xcb(), c.root(), c.root(), static_cast<std::int16_t>(x), static_cast<std::int16_t>(y)),
      nullptr));
  return r ? r->child : XCB_NONE;
}

// The last answer, for a pointer at rest: asked again for the same point
// over the same top-level window, with nothing reported by the watch since,
// the answer stands without walking the tree (dozens of requests) every
// 10 ms. Without a watch, or should an event go unreported, it stands for
// kFresh at most.
struct PointCache {
  std::int32_t x = -1, y = -1;
  xcb_window_t top = XCB_NONE;
  std::uint64_t generation = 0;
  HWND result = 0;
  std::chrono::steady_clock::time_point at;
};
constexpr auto kFresh = std::chrono::milliseconds(1000);
constexpr auto kFreshWatched = std::chrono::seconds(10);

HWND WalkTree(Connection& c, std::int32_t x, std::int32_t y, std::vector<xcb_window_t>* path);

}  // namespace

HWND WindowFromPoint(std::int32_t x, std::int32_t y) {
  Connection* c = Connection::Get();
  if (!c || x < INT16_MIN || x > INT16_MAX || y < INT16_MIN || y > INT16_MAX) return 0;
  static PointCache cache;
  const auto now = std::chrono::steady_clock::now();
  const xcb_window_t top = TopLevelAt(*c, x, y);
  PointerWatch* watch = Watch() && Watch()->Active() ? &*Watch() : nullptr;
  if (watch) watch->Changed(true);
  const std::uint64_t generation = watch ? watch->Generation() : 0;
  if (x == cache.x && y == cache.y && top == cache.top && generation == cache.generation &&
      now - cache.at < (watch ? kFreshWatched : kFresh))
    return cache.result;
  std::vector<xcb_window_t> path;
  const HWND result = WalkTree(*c, x, y, watch ? &path : nullptr);
  if (watch) watch->Follow(std::move(path), x, y);
  cache = {x, y, top, generation, result, now};
  return result;
}

namespace {
// A level at a time, each level's question about WM_STATE travelling with
// the next level's round trips, and the root's size with the first.
// path, when given, receives the windows from the root's child down to the
// deepest one at the point.
HWND WalkTree(Connection& cref, std::int32_t x, std::int32_t y, std::vector<xcb_window_t>* path) {
  Connection* c = &cref;
  if (x < 0 || y < 0) return 0;
  const xcb_get_geometry_cookie_t rootAsked = xcb_get_geometry(c->xcb(), c->root());
  Found at{c->root(), 0, 0};
  xcb_window_t top = XCB_NONE;
  bool insideClient = false;
  std::optional<xcb_get_property_cookie_t> stateAsked;  // of at.window
  for (int depth = 0; depth < 64; ++depth) {
    const Found child = ChildAt(*c, at.window, at.x, at.y, x, y);
    if (stateAsked) insideClient = TakeWmState(*c, *std::exchange(stateAsked, std::nullopt)) || insideClient;
    if (child.window == XCB_NONE) break;
    if (top == XCB_NONE) top = child.window;
    if (!insideClient) stateAsked = AskWmState(*c, child.window);
    if (path) path->push_back(child.window);
    at = child;
  }
  if (stateAsked) insideClient = TakeWmState(*c, *stateAsked) || insideClient;
  const auto root = TakeGeometry(*c, rootAsked);
  if (!root || x >= root->width || y >= root->height) return 0;
  xcb_window_t w = at.window;
  // A point on a frame or its decorations belongs to the client it frames.
  if (top != XCB_NONE && !insideClient) {
    const xcb_window_t client = ClientIn(*c, top);
    if (client != XCB_NONE) w = client;
  }
  return ToHandle(w);
}
}  // namespace

HWND GetParent(HWND hwnd) {
  Connection* c = Connection::Get();
  const xcb_window_t w = ToWindow(hwnd);
  if (!c || w == XCB_NONE || w == c->root()) return 0;
  // A managed top-level has no parent of its own; its owner stands in. All
  // three questions go in one round trip; the unneeded answers are dropped.
  const auto stateAsked = AskWmState(*c, w);
  const auto ownerAsked = AskTransientFor(*c, w);
  const auto treeAsked = xcb_query_tree(c->xcb(), w);
  if (TakeWmState(*c, stateAsked)) {
    xcb_discard_reply(c->xcb(), treeAsked.sequence);
    const xcb_window_t owner = TakeTransientFor(*c, ownerAsked);
    return owner == c->root() ? 0 : ToHandle(owner);
  }
  xcb_discard_reply(c->xcb(), ownerAsked.sequence);
  const auto tree = TakeTree(*c, treeAsked);
  if (!tree || tree->parent == c->root()) return 0;
  return ToHandle(tree->parent);
}

bool IsWindow(HWND hwnd) {
  Connection* c = Connection::Get();
  const xcb_window_t w = ToWindow(hwnd);
  if (!c || w == XCB_NONE) return false;
  return TakeReply(xcb_get_window_attributes_reply, c->xcb(), xcb_get_window_attributes(c->xcb(), w)) != nullptr;
}

}  // namespace runtime
