// Questions about the window tree that several window services share. All
// return a neutral value (XCB_NONE, false, nullptr) when a window is gone.
#pragma once
#include <xcb/xcb.h>

#include <optional>
#include <string>
#include <vector>

#include "runtime/types.h"
#include "runtime/x11/connection.h"

namespace runtime::x11 {

struct Rect {
  std::int32_t x = 0, y = 0, width = 0, height = 0;
  bool Empty() const { return width <= 0 || height <= 0; }
  bool Contains(std::int32_t px, std::int32_t py) const {
    return px >= x && py >= y && px - x < width && py - y < height;
  }
  bool operator==(const Rect&) const = default;
};
Rect Intersect(const Rect& a, const Rect& b);

xcb_window_t ToWindow(HWND hwnd);
Reply<xcb_get_geometry_reply_t> Geometry(const Connection& c, xcb_window_t w);
Reply<xcb_get_geometry_reply_t> TakeGeometry(const Connection& c, xcb_get_geometry_cookie_t cookie);
// Children bottom to top, and the parent; nullopt when w is gone.
struct Tree {
  xcb_window_t parent = XCB_NONE;
  std::vector<xcb_window_t> children;
};
std::optional<Tree> QueryTree(const Connection& c, xcb_window_t w);
std::optional<Tree> TakeTree(const Connection& c, xcb_query_tree_cookie_t cookie);
// The ancestor of w that is a child of the root (w itself when it is one).
xcb_window_t TopLevelOf(const Connection& c, xcb_window_t w);
// A client the window manager looks after carries WM_STATE. Asked and
// taken apart, the question travels with the round trip of other requests.
bool HasWmState(const Connection& c, xcb_window_t w);
xcb_get_property_cookie_t AskWmState(const Connection& c, xcb_window_t w);
bool TakeWmState(const Connection& c, xcb_get_property_cookie_t cookie);
// The window a managed top-level is transient for, from an answer to
// AskTransientFor; XCB_NONE when it has none.
xcb_get_property_cookie_t AskTransientFor(const Connection& c, xcb_window_t w);
xcb_window_t TakeTransientFor(const Connection& c, xcb_get_property_cookie_t cookie);
// The client window inside a frame (or w itself when it is the client).
xcb_window_t ClientIn(const Connection& c, xcb_window_t w);
// A top-level client sitting in a window manager's frame; the frame it sits in.
xcb_window_t FrameOf(const Connection& c, xcb_window_t w);
// The outer rectangle in root coordinates: the frame for a managed top-level,
// else the window with its border.
std::optional<Rect> OuterRect(const Connection& c, xcb_window_t w);
// Root coordinates of the window's inside top-left corner.
std::optional<Rect> InnerRect(const Connection& c, xcb_window_t w);
// The root's size and the primary monitor: the one RandR 1.5 marks
// primary, else the primary output's CRTC; none when neither is known.
struct ScreenLayout {
  Rect root;
  std::optional<Rect> primary;
};
// The layout, asked for once for the reads that follow one another within
// a moment (the screen's four measures, the capture that uses them, a
// window's presence): a change of layout between them is a race either way.
// nullopt when the root cannot be read.
std::optional<ScreenLayout> CurrentScreenLayout(const Connection& c);
// Whether the screen shows a window: gone, not mapped (hidden, minimised, or
// inside an unmapped parent), input-only, lying wholly off the root, or on
// the screen (perhaps partly covered or partly off it).
enum class Presence { Gone, Unmapped, InputOnly, OffScreen, OnScreen };
Presence WindowPresence(const Connection& c, xcb_window_t w);

// Whether an event reported on watched (the root first, then the windows
// down to the one at the root point (x, y)) may change what lies at that
// point. A child of the root moved or restacked where it does not cover the
// point cannot, so windows busy elsewhere on the screen cost nothing;
// anything else may.
bool MayChangeWhatIsAt(const xcb_generic_event_t& e, const std::vector<xcb_window_t>& watched, std::int32_t x,
                       std::int32_t y);

// The captions as UTF-8 (_NET_WM_NAME when set, else WM_NAME), asked for
// all windows at once; nullopt for a window without a caption.
std::vector<std::optional<std::string>> WindowNames(const Connection& c, const std::vector<xcb_window_t>& windows);
// The two WM_CLASS strings (instance, class), empty when unset.
std::vector<std::string> WindowClass(const Connection& c, xcb_window_t w);

}  // namespace runtime::x11
