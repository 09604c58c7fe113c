// Placing windows: stacking, the always-on-top state, position and size,
// and the input focus.
#include <algorithm>

#include "runtime/user32.h"
#include "runtime/x11/connection.h"
#include "runtime/x11/window_tree.h"

namespace runtime {
namespace {

using namespace x11;

constexpr std::uint32_t kNoZOrder = 0x0004;
constexpr std::uint32_t kStateRemove = 0, kStateAdd = 1;
constexpr std::uint32_t kSourcePager = 2;  // window managers obey pagers without focus-stealing checks
constexpr std::uint32_t kGravityNorthWest = 1;

void SendToWindowManager(const Connection& c, xcb_window_t w, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1,
                         std::uint32_t d2 = 0, std::uint32_t d3 = 0, std::uint32_t d4 = 0) {
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = w;
  event.type = type;
  event.data.data32[0] = d0;
  event.data.data32[1] = d1;
  event.data.data32[2] = d2;
  event.data.data32[3] = d3;
  event.data.data32[4] = d4;
  c.Check(xcb_send_event_checked(c.xcb(), 0, c.root(),
                                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                                 reinterpret_cast<const char*>(&event)));
}

void Configure(const Connection& c, xcb_window_t w, std::uint16_t mask, const std::uint32_t* values) {
  c.Check(xcb_configure_window_checked(c.xcb(), w, mask, values));
}

// A withdrawn window states its wishes in its own property (read when it is
// mapped); a managed one asks the window manager.
void SetAbove(const Connection& c, xcb_window_t w, bool managed, bool above) {
  const Atoms& a = c.atoms();
  if (managed) {
    SendToWindowManager(c, w, a.netWmState, above ? kStateAdd : kStateRemove, a.netWmStateAbove, 0, kSourcePager);
    return;
  }
  auto states = GetProperty32(c, w, a.netWmState, XCB_ATOM_ATOM);
  std::erase(states, a.netWmStateAbove);
  if (above) states.push_back(a.netWmStateAbove);
  c.Check(xcb_change_property_checked(c.xcb(), XCB_PROP_MODE_REPLACE, w, a.netWmState, XCB_ATOM_ATOM, 32,
                                      static_cast<std::uint32_t>(states.size()), states.data()));
}

void Restack(const Connection& c, xcb_window_t w, bool managed, xcb_window_t sibling, std::uint32_t mode) {
  if (managed) {
    SendToWindowManager(c, w, c.atoms().netRestackWindow, kSourcePager, sibling, mode);
    return;
  }
  const std::uint32_t values[] = {sibling, mode};
  if (sibling != XCB_NONE)
    Configure(c, w, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
  else
    Configure(c, w, XCB_CONFIG_WINDOW_STACK_MODE, values + 1);
}

void ApplyZOrder(const Connection& c, xcb_window_t w, bool managed, bool topLevel, HWND insertAfter) {
  switch (insertAfter) {
    case HWND_TOPMOST:
      if (topLevel) SetAbove(c, w, managed, true);
      Restack(c, w, managed, XCB_NONE, XCB_STACK_MODE_ABOVE);
      break;
    case HWND_NOTOPMOST:
      if (topLevel) SetAbove(c, w, managed, false);
      break;
    case HWND_BOTTOM:
      if (topLevel) SetAbove(c, w, managed, false);
      Restack(c, w, managed, XCB_NONE, XCB_STACK_MODE_BELOW);
      break;
    case HWND_TOP:
      Restack(c, w, managed, XCB_NONE, XCB_STACK_MODE_ABOVE);
      break;
    default:  // after (below) the given window
      Restack(c, w, managed, ToWindow(insertAfter), XCB_STACK_MODE_BELOW);
      break;
  }
}

// Moves and sizes so that the outer rectangle becomes want. The window
// manager keeps the frame around the client, so the client gets the
// rectangle less the frame's edges.
void ApplyPlace(const Connection& c, xcb_window_t w, bool managed, const Rect& outer, const Rect& want) {
  const auto inner = InnerRect(c, w);
  if (!inner) return;
  const std::int32_t width = std::max(1, want.width - (outer.width - inner->width));
  const std::int32_t height = std::max(1, want.height - (outer.height - inner->height));
  if (managed) {
    // North-west gravity: x and y place the frame's outer corner.
    constexpr std::uint32_t kAll = 0xf00;
    SendToWindowManager(c, w, c.atoms().netMoveresizeWindow, kGravityNorthWest | kAll | (kSourcePager << 12),
                        static_cast<std::uint32_t>(want.x), static_cast<std::uint32_t>(want.y),
                        static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    return;
  }
  // Configure takes the position in the parent's coordinates.
  const auto tree = QueryTree(c, w);
  const auto parent = tree ? InnerRect(c, tree->parent) : std::nullopt;
  if (!parent) return;
  const std::uint32_t values[] = {static_cast<std::uint32_t>(want.x - parent->x),
                                  static_cast<std::uint32_t>(want.y - parent->y), static_cast<std::uint32_t>(width),
                                  static_cast<std::uint32_t>(height)};
  Configure(c, w,
            XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
}

}  // namespace

bool SetWindowPos(HWND hwnd, HWND insertAfter, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                  std::uint32_t flags) {
  Connection* c = Connection::Get();
  const xcb_window_t w = ToWindow(hwnd);
  if (!c || w == XCB_NONE || w == c->root()) return false;
  const auto outer = OuterRect(*c, w);
  const auto tree = QueryTree(*c, w);
  if (!outer || !tree) return false;
  const bool wm = c->WindowManagerRunning();
  const bool managed = wm && HasWmState(*c, w);
  const bool topLevel = managed || tree->parent == c->root();

  if (!(flags & kNoZOrder)) ApplyZOrder(*c, w, managed, topLevel && wm, insertAfter);
  Rect want = *outer;
  if (!(flags & SWP_NOMOVE)) {
    want.x = x;
    want.y = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    want.width = cx;
    want.height = cy;
  }
  // Asking for the place the window already has must never nudge it.
  if (!(want == *outer)) ApplyPlace(*c, w, managed, *outer, want);
  if (flags & SWP_SHOWWINDOW) c->Check(xcb_map_window_checked(c->xcb(), w));
  xcb_flush(c->xcb());
  return true;
}

HWND SetFocus(HWND hwnd) {
  Connection* c = Connection::Get();
  const xcb_window_t w = ToWindow(hwnd);
  if (!c || w == XCB_NONE) return 0;
  Reply<xcb_get_input_focus_reply_t> previous(
      xcb_get_input_focus_reply(c->xcb(), xcb_get_input_focus(c->xcb()), nullptr));
  if (!c->Check(xcb_set_input_focus_checked(c->xcb(), XCB_INPUT_FOCUS_PARENT, w, XCB_CURRENT_TIME))) return 0;
  if (!previous || previous->focus == XCB_NONE || previous->focus == XCB_INPUT_FOCUS_POINTER_ROOT) return 0;
  return static_cast<HWND>(previous->focus);
}

}  // namespace runtime
