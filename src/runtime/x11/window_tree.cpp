#include "runtime/x11/window_tree.h"

#include <algorithm>
#include <chrono>

namespace runtime::x11 {
namespace {

Reply<xcb_get_property_reply_t> TakeProperty(const Connection& c, xcb_get_property_cookie_t cookie) {
  Reply<xcb_get_property_reply_t> r = TakeReply(xcb_get_property_reply, c.xcb(), cookie);
  return r && r->type != XCB_NONE ? std::move(r) : nullptr;
}

std::string Bytes(const xcb_get_property_reply_t& r) {
  const auto* p = static_cast<const char*>(xcb_get_property_value(&r));
  return std::string(p, static_cast<std::size_t>(xcb_get_property_value_length(&r)));
}

// WM_NAME of type STRING is ISO Latin-1; captions are compared as UTF-8.
std::string Latin1ToUtf8(const std::string& s) {
  std::string out;
  for (unsigned char ch : s) {
    if (ch < 0x80) {
      out += static_cast<char>(ch);
    } else {
      out += static_cast<char>(0xc0 | (ch >> 6));
      out += static_cast<char>(0x80 | (ch & 0x3f));
    }
  }
  return out;
}

bool IsUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (int k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

// COMPOUND_TEXT as clients such as xterm write it: ASCII and Latin-1 with
// UTF-8 runs between ESC % G and ESC % @. Other character sets cannot match
// a UTF-8 caption anyway and come out as "?".
std::string CompoundTextToUtf8(const std::string& s) {
  std::string out;
  bool utf8 = false, otherSet = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto ch = static_cast<unsigned char>(s[i]);
    if (ch == 0x1B) {
      const std::string rest = s.substr(i + 1, 2);
      if (rest == "%G") { utf8 = true; i += 2; continue; }
      if (rest == "%@") { utf8 = false; i += 2; continue; }
      // Designations: intermediates 0x20-0x2F, then a final byte 0x30-0x7E.
      std::size_t j = i + 1;
      while (j < s.size() && s[j] >= 0x20 && s[j] <= 0x2F) ++j;
      const std::string designation = s.substr(i + 1, j - i);
      otherSet = !(designation == "(B" || designation == "-A");
      i = j;
      continue;
    }
    if (utf8 || ch < 0x80) {
      out += static_cast<char>(ch);
    } else if (otherSet) {
      out += '?';
    } else {
      out += Latin1ToUtf8(std::string(1, static_cast<char>(ch)));
    }
  }
  return out;
}

std::string WmNameToUtf8(const xcb_get_property_reply_t& r) {
  const std::string bytes = Bytes(r);
  if (r.type == XCB_ATOM_STRING) return Latin1ToUtf8(bytes);
  if (bytes.find('\x1B') != std::string::npos) return CompoundTextToUtf8(bytes);
  return IsUtf8(bytes) ? bytes : Latin1ToUtf8(bytes);
}

}  // namespace

Rect Intersect(const Rect& a, const Rect& b) {
  const std::int64_t x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{a.x} + a.width, std::int64_t{b.x} + b.width);
  const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{a.y} + a.height, std::int64_t{b.y} + b.height);
  if (x1 <= x0 || y1 <= y0) return {};
  return {static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0), static_cast<std::int32_t>(x1 - x0),
          static_cast<std::int32_t>(y1 - y0)};
}

xcb_window_t ToWindow(HWND hwnd) {
  // X ids never use the top three bits; anything else is no window.
  return hwnd > 0 ? static_cast<xcb_window_t>(hwnd) : XCB_NONE;
}

Reply<xcb_get_geometry_reply_t> Geometry(const Connection& c, xcb_window_t w) {
  if (w == XCB_NONE) return nullptr;
  return TakeGeometry(c, xcb_get_geometry(c.xcb(), w));
}

Reply<xcb_get_geometry_reply_t> TakeGeometry(const Connection& c, xcb_get_geometry_cookie_t cookie) {
  return TakeReply(xcb_get_geometry_reply, c.xcb(), cookie);
}

std::optional<Tree> QueryTree(const Connection& c, xcb_window_t w) {
  if (w == XCB_NONE) return std::nullopt;
  return TakeTree(c, xcb_query_tree(c.xcb(), w));
}

std::optional<Tree> TakeTree(const Connection& c, xcb_query_tree_cookie_t cookie) {
  const Reply<xcb_query_tree_reply_t> r = TakeReply(xcb_query_tree_reply, c.xcb(), cookie);
  if (!r) return std::nullopt;
  const xcb_window_t* children = xcb_query_tree_children(r.get());
  return Tree{r->parent, {children, children + xcb_query_tree_children_length(r.get())}};
}

xcb_window_t TopLevelOf(const Connection& c, xcb_window_t w) {
  if (w == c.root()) return XCB_NONE;
  for (int depth = 0; depth < 64; ++depth) {
    const auto tree = QueryTree(c, w);
    if (!tree || tree->parent == XCB_NONE) return XCB_NONE;
    if (tree->parent == c.root()) return w;
    w = tree->parent;
  }
  return XCB_NONE;
}

bool HasWmState(const Connection& c, xcb_window_t w) { return w != XCB_NONE && TakeWmState(c, AskWmState(c, w)); }

xcb_get_property_cookie_t AskWmState(const Connection& c, xcb_window_t w) {
  return xcb_get_property(c.xcb(), 0, w, c.atoms().wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 0);
}

bool TakeWmState(const Connection& c, xcb_get_property_cookie_t cookie) { return TakeProperty(c, cookie) != nullptr; }

xcb_get_property_cookie_t AskTransientFor(const Connection& c, xcb_window_t w) {
  return xcb_get_property(c.xcb(), 0, w, c.atoms().wmTransientFor, XCB_ATOM_WINDOW, 0, 1);
}

xcb_window_t TakeTransientFor(const Connection& c, xcb_get_property_cookie_t cookie) {
  const auto owner = Values32(TakeProperty(c, cookie).get(), XCB_ATOM_WINDOW);
  return owner.empty() ? XCB_NONE : owner[0];
}

xcb_window_t ClientIn(const Connection& c, xcb_window_t w) {
  // Breadth first, the way window managers nest: the client is rarely more
  // than two levels inside its frame. A level's states and children are
  // asked for together, one round trip a level; the children go unused when
  // the client is found.
  std::vector<xcb_window_t> level{w};
  for (int depth = 0; depth < 4 && !level.empty(); ++depth) {
    std::vector<std::pair<xcb_get_property_cookie_t, xcb_query_tree_cookie_t>> cookies;
    for (xcb_window_t x : level) cookies.emplace_back(AskWmState(c, x), xcb_query_tree(c.xcb(), x));
    xcb_window_t found = XCB_NONE;
    std::vector<xcb_window_t> next;
    for (std::size_t i = 0; i < level.size(); ++i) {
      if (TakeWmState(c, cookies[i].first) && found == XCB_NONE) found = level[i];
      const auto tree = TakeTree(c, cookies[i].second);
      if (tree && found == XCB_NONE) next.insert(next.end(), tree->children.begin(), tree->children.end());
    }
    if (found != XCB_NONE) return found;
    level = std::move(next);
  }
  return XCB_NONE;
}

xcb_window_t FrameOf(const Connection& c, xcb_window_t w) {
  if (!HasWmState(c, w)) return XCB_NONE;
  const xcb_window_t top = TopLevelOf(c, w);
  return top != w ? top : XCB_NONE;
}

std::optional<Rect> InnerRect(const Connection& c, xcb_window_t w) {
  auto g = Geometry(c, w);
  if (!g) return std::nullopt;
  if (w == c.root()) return Rect{0, 0, g->width, g->height};
  const auto t =
      TakeReply(xcb_translate_coordinates_reply, c.xcb(), xcb_translate_coordinates(c.xcb(), w, c.root(), 0, 0));
  if (!t) return std::nullopt;
  return Rect{t->dst_x, t->dst_y, g->width, g->height};
}

std::optional<Rect> OuterRect(const Connection& c, xcb_window_t w) {
  const xcb_window_t frame = FrameOf(c, w);
  if (frame != XCB_NONE) {
    // A frame is a child of the root, so its own geometry is in root pixels.
    if (auto g = Geometry(c, frame)) {
      const int b = g->border_width;
      return Rect{g->x, g->y, g->width + 2 * b, g->height + 2 * b};
    }
  }
  auto inner = InnerRect(c, w);
  auto g = Geometry(c, w);
  if (!inner || !g) return std::nullopt;
  const int b = g->border_width;
  return Rect{inner->x - b, inner->y - b, inner->width + 2 * b, inner->height + 2 * b};
}

namespace {

// Asks for the monitors, the primary output and the root's size together:
// one round trip on a server that marks a primary monitor or has none.
std::optional<ScreenLayout> AskScreenLayout(const Connection& c) {
  xcb_connection_t* x = c.xcb();
  // Sent before the version is known: a server without these requests
  // answers with an error, which counts as no answer.
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(x, &xcb_randr_id);
  const bool randr = extension && extension->present;
  std::optional<xcb_randr_get_monitors_cookie_t> monitorsAsked;
  std::optional<xcb_randr_get_output_primary_cookie_t> primaryAsked;
  if (randr) {
    monitorsAsked = xcb_randr_get_monitors(x, c.root(), 1);
    primaryAsked = xcb_randr_get_output_primary(x, c.root());
  }
  const xcb_get_geometry_cookie_t rootAsked = xcb_get_geometry(x, c.root());
  Reply<xcb_randr_get_monitors_reply_t> monitors;
  Reply<xcb_randr_get_output_primary_reply_t> primary;
  if (randr) {
    if (c.hasRandrMonitors())
      monitors.reset(xcb_randr_get_monitors_reply(x, *monitorsAsked, nullptr));
    else
      xcb_discard_reply(x, monitorsAsked->sequence);
    if (c.hasRandr())
      primary.reset(xcb_randr_get_output_primary_reply(x, *primaryAsked, nullptr));
    else
      xcb_discard_reply(x, primaryAsked->sequence);
  }
  const auto root = TakeGeometry(c, rootAsked);
  if (!root) return std::nullopt;

  ScreenLayout layout{Rect{0, 0, root->width, root->height}, std::nullopt};
  if (monitors)
    for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem; xcb_randr_monitor_info_next(&it))
      if (it.data->primary && it.data->width && it.data->height) {
        layout.primary = Rect{it.data->x, it.data->y, it.data->width, it.data->height};
        return layout;
      }
  if (!primary || !primary->output) return layout;
  Reply<xcb_randr_get_output_info_reply_t> output(
      xcb_randr_get_output_info_reply(x, xcb_randr_get_output_info(x, primary->output, XCB_CURRENT_TIME), nullptr));
  Reply<xcb_randr_get_crtc_info_reply_t> crtc(
      output && output->crtc
          ? xcb_randr_get_crtc_info_reply(x, xcb_randr_get_crtc_info(x, output->crtc, XCB_CURRENT_TIME), nullptr)
          : nullptr);
  if (crtc && crtc->width && crtc->height) layout.primary = Rect{crtc->x, crtc->y, crtc->width, crtc->height};
  return layout;
}

}  // namespace

std::optional<ScreenLayout> CurrentScreenLayout(const Connection& c) {
  constexpr auto kMoment = std::chrono::milliseconds(10);
  static std::optional<ScreenLayout> last;
  static std::chrono::steady_clock::time_point at;
  const auto now = std::chrono::steady_clock::now();
  if (!last || now - at >= kMoment) {
    last = AskScreenLayout(c);
    at = now;
  }
  return last;
}

Presence WindowPresence(const Connection& c, xcb_window_t w) {
  if (w == XCB_NONE) return Presence::Gone;
  const auto a = TakeReply(xcb_get_window_attributes_reply, c.xcb(), xcb_get_window_attributes(c.xcb(), w));
  if (!a) return Presence::Gone;
  if (a->_class == XCB_WINDOW_CLASS_INPUT_ONLY) return Presence::InputOnly;
  if (a->map_state != XCB_MAP_STATE_VIEWABLE) return Presence::Unmapped;
  // Some window managers keep a minimised client mapped; WM_STATE tells.
  constexpr std::uint32_t kIconicState = 3;
  const auto state = GetProperty32(c, w, c.atoms().wmState, c.atoms().wmState);
  if (!state.empty() && state[0] == kIconicState) return Presence::Unmapped;
  const auto outer = OuterRect(c, w);
  const auto screen = CurrentScreenLayout(c);
  if (!outer || !screen) return Presence::Gone;
  if (Intersect(*outer, screen->root).Empty()) return Presence::OffScreen;
  return Presence::OnScreen;
}

std::vector<std::optional<std::string>> WindowNames(const Connection& c, const std::vector<xcb_window_t>& windows) {
  const Atoms& a = c.atoms();
  std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> cookies;
  for (xcb_window_t w : windows)
    cookies.emplace_back(xcb_get_property(c.xcb(), 0, w, a.netWmName, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16),
                         xcb_get_property(c.xcb(), 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16));
  std::vector<std::optional<std::string>> names;
  for (auto& [netCookie, wmCookie] : cookies) {
    auto net = TakeProperty(c, netCookie);
    auto wm = TakeProperty(c, wmCookie);
    // _NET_WM_NAME is UTF-8 whatever type some tools give it.
    if (net && net->format == 8)
      names.emplace_back(Bytes(*net));
    else if (wm && wm->format == 8)
      names.emplace_back(WmNameToUtf8(*wm));
    else
      names.emplace_back(std::nullopt);
  }
  return names;
}

std::vector<std::string> WindowClass(const Connection& c, xcb_window_t w) {
  auto r = TakeProperty(c, xcb_get_property(c.xcb(), 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 1024));
  std::vector<std::string> parts;
  if (!r || r->format != 8) return parts;
  const std::string all = Bytes(*r);
  for (std::size_t start = 0; start < all.size();) {
    std::size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    parts.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool MayChangeWhatIsAt(const xcb_generic_event_t& e, const std::vector<xcb_window_t>& watched, std::int32_t x,
                       std::int32_t y) {
  switch (e.response_type & 0x7f) {
    case XCB_CREATE_NOTIFY:
      return false;  // a new window shows nothing until it is mapped, which is reported
    case XCB_CONFIGURE_NOTIFY: {
      const auto& c = reinterpret_cast<const xcb_configure_notify_event_t&>(e);
      // Inside a watched window, or a watched window itself: always.
      if (watched.empty() || c.event != watched.front() ||
          std::find(watched.begin(), watched.end(), c.window) != watched.end())
        return true;
      const std::int32_t b = c.border_width;
      return Rect{c.x, c.y, c.width + 2 * b, c.height + 2 * b}.Contains(x, y);
    }
    default:
      return true;
  }
}

}  // namespace runtime::x11
