// Window services: finding, measuring and inspecting windows.
#include "runtime/user32.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "runtime/x11/connection.h"
#include "runtime/x11/pointer_watch.h"
#include "runtime/x11/window_tree.h"

namespace runtime {
namespace {

using namespace x11;

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

bool GetCursorPos(POINTAPI* point) {
  if (!point) return false;
  *point = {};
  Connection* c = Connection::Get();
  if (!c) return false;
  const std::optional<PointerPosition> at = QueryPointer(*c);
  if (!at) return false;
  *point = {at->x, at->y};
  return true;
}

namespace {

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
  PointerWatch* watch = ThePointerWatch() && ThePointerWatch()->Active() ? &*ThePointerWatch() : nullptr;
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
