// Window services against real clients under a real window manager.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdio>

#include "capture/capture_bitmap.h"
#include "runtime/user32.h"
#include "runtime/x11/window_tree.h"
#include "x11_session.h"

using namespace runtime;
using namespace x11test;

namespace {

Rect WindowRect(HWND hwnd) {
  RECT r{};
  EXPECT_TRUE(GetWindowRect(hwnd, &r));
  return {r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top};
}

// xprop cannot write a property of type WINDOW; a connection of our own can.
void SetTransientFor(HWND window, HWND owner) {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  const auto value = static_cast<std::uint32_t>(owner);
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window), XCB_ATOM_WM_TRANSIENT_FOR,
                      XCB_ATOM_WINDOW, 32, 1, &value);
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));  // a round trip: the change is done
  xcb_disconnect(c);
}

}  // namespace

// Rectangles, the windows at points, and parents: top-levels and the root
// have none, their children and owned windows do.
TEST(WindowGeometry, RectsPointsAndParentsOfTopLevelsChildrenAndTheDesktop) {
  REQUIRE_DESKTOP();
  Xterm term(UniqueTitle("point"), "60x12+300+200"), owned(UniqueTitle("owned"), "30x5+600+500");
  const Rect frame = FrameRect(term.id()), client = Geometry(term.id());
  EXPECT_EQ(WindowRect(term.hwnd()), frame);
  EXPECT_LT(frame.y, client.y);  // the title bar is above the client
  EXPECT_EQ(WindowRect(GetDesktopWindow()), (Rect{0, 0, 1024, 768}));
  // The title bar belongs to the window it frames; inside the client, the
  // client or a child of its own, with its own rectangle and no frame.
  EXPECT_EQ(WindowFromPoint(client.x + client.width / 2, (frame.y + client.y) / 2), term.hwnd());
  const HWND inside = WindowFromPoint(client.x + 20, client.y + 20);
  ASSERT_NE(inside, 0);
  if (inside != term.hwnd()) {
    EXPECT_EQ(GetParent(inside), term.hwnd());
    EXPECT_EQ(WindowRect(inside), Geometry(inside));
  }
  EXPECT_EQ(WindowFromPoint(5, 760), GetDesktopWindow());
  EXPECT_EQ(WindowFromPoint(-1, 10), 0);
  EXPECT_EQ(GetParent(term.hwnd()), 0);
  EXPECT_EQ(GetParent(GetDesktopWindow()), 0);
  SetTransientFor(owned.hwnd(), term.hwnd());
  EXPECT_TRUE(WaitUntil([&] { return GetParent(owned.hwnd()) == term.hwnd(); }));

  Shell("xdotool mousemove 321 234");
  POINTAPI p;
  ASSERT_TRUE(GetCursorPos(&p));
  EXPECT_EQ(std::make_pair(p.X, p.Y), std::make_pair(321, 234));
}

// The pointer as the 10 ms tracker asks for it, mostly without a round trip:
// motion from a device (XTest here, relative and accelerated) shows at the
// next call, and a warp, which reports no motion, within a moment.
TEST(GetCursorPos, FollowsDeviceMotionAndWarps) {
  REQUIRE_DESKTOP();
  const auto pointer = [] {
    POINTAPI p{};
    EXPECT_TRUE(GetCursorPos(&p));
    return std::make_pair(p.X, p.Y);
  };
  const auto xdotool = [] {
    int x = 0, y = 0;
    std::sscanf(Shell("xdotool getmouselocation").c_str(), "x:%d y:%d", &x, &y);
    return std::make_pair(x, y);
  };
  Shell("xdotool mousemove 100 100");
  EXPECT_EQ(pointer(), std::make_pair(100, 100));
  pointer();  // from here on the motion is watched
  Shell("xdotool mousemove_relative --sync 40 30");
  const auto moved = xdotool();
  EXPECT_NE(moved, std::make_pair(100, 100));
  EXPECT_EQ(pointer(), moved);
  Shell("xdotool mousemove 500 400");
  EXPECT_TRUE(WaitUntil([&] { return pointer() == std::make_pair(500, 400); }, 2));
}

// Which reports send the tracker to look again: a window moved or raised
// elsewhere on the screen (a clock ticking, a popup sliding) must not cost a
// lookup on every tick; a window that comes to cover the point, or leaves
// it, and anything on the watched windows themselves, must.
TEST(MayChangeWhatIsAt, OnlyWhatTouchesThePointCounts) {
  using runtime::x11::MayChangeWhatIsAt;
  const std::vector<xcb_window_t> watched{1, 10, 11};  // the root, a top-level, its child under (100, 100)
  const auto at = [&](const auto& event) {
    return MayChangeWhatIsAt(reinterpret_cast<const xcb_generic_event_t&>(event), watched, 100, 100);
  };
  const auto configure = [](xcb_window_t parent, xcb_window_t w, std::int16_t x, std::int16_t y, std::uint16_t side) {
    xcb_configure_notify_event_t c{};
    c.response_type = XCB_CONFIGURE_NOTIFY;
    c.event = parent, c.window = w, c.x = x, c.y = y, c.width = c.height = side, c.border_width = 1;
    return c;
  };
  EXPECT_FALSE(at(configure(1, 20, 300, 300, 50)));
  EXPECT_TRUE(at(configure(1, 20, 90, 90, 9)));   // its border reaches the point
  EXPECT_FALSE(at(configure(1, 20, 90, 90, 8)));
  EXPECT_TRUE(at(configure(1, 10, 500, 500, 5)));  // the top-level under the point moved away
  EXPECT_TRUE(at(configure(11, 30, 900, 900, 1)));  // inside a watched window: always
  auto synthetic = configure(1, 20, 300, 300, 50);
  synthetic.response_type |= 0x80;
  EXPECT_FALSE(at(synthetic));

  xcb_generic_event_t other{};
  for (const int type : {XCB_MAP_NOTIFY, XCB_UNMAP_NOTIFY, XCB_DESTROY_NOTIFY, XCB_REPARENT_NOTIFY, XCB_LEAVE_NOTIFY,
                         XCB_ENTER_NOTIFY, XCB_GE_GENERIC, 0 /* an error */}) {
    other.response_type = static_cast<std::uint8_t>(type);
    EXPECT_TRUE(at(other)) << type;
  }
  other.response_type = XCB_CREATE_NOTIFY;  // shows nothing until mapped
  EXPECT_FALSE(at(other));
}

// What changes under a still pointer is reported by the server, so the
// tracker's very next call sees it without asking every 10 ms: a window
// coming up under the pointer, and a warp (no motion report) into another.
TEST(WindowFromPoint, SeesAWindowComingUpUnderAStillPointerAndAWarpAtTheNextCall) {
  REQUIRE_DESKTOP();
  const auto under = [] {
    POINTAPI p{};
    EXPECT_TRUE(GetCursorPos(&p));
    return WindowFromPoint(p.X, p.Y);
  };
  const auto inside = [](HWND found, const Xterm& term) { return found == term.hwnd() || GetParent(found) == term.hwnd(); };
  Shell("xdotool mousemove 700 120");
  under();
  ASSERT_EQ(under(), GetDesktopWindow()) << "the test needs the bare desktop there";
  Xterm term(UniqueTitle("under"), "30x6+640+70");
  EXPECT_TRUE(inside(under(), term));
  Xterm other(UniqueTitle("other"), "30x6+80+420");
  EXPECT_TRUE(inside(under(), term)) << "nothing changed under the pointer";
  Shell("xdotool mousemove 150 470");
  EXPECT_TRUE(inside(under(), other));
}

// Two windows of one caption: restacking decides both which one a point
// on their overlap belongs to and which one FindWindowA gives (the top).
// Captions match whole; a class matches either part of WM_CLASS.
TEST(SetWindowPos, RestacksAndFindWindowGivesTheTopmost) {
  REQUIRE_DESKTOP();
  const std::string title = UniqueTitle("twin");
  Xterm lower(title, "40x10+100+100"), upper(title, "40x10+150+130");
  const auto owner = [] {
    const HWND h = WindowFromPoint(200, 200);
    return GetParent(h) ? GetParent(h) : h;
  };
  for (const auto& [moved, after, top] : {std::tuple{&upper, HWND_TOP, &upper}, std::tuple{&upper, HWND_BOTTOM, &lower},
                                          std::tuple{&upper, HWND_TOP, &upper}}) {
    ASSERT_TRUE(SetWindowPos(moved->hwnd(), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_TRUE(WaitUntil([&] { return owner() == top->hwnd(); })) << top->title();
    EXPECT_EQ(FindWindowA(nullptr, title.c_str()), top->hwnd());
  }
  EXPECT_EQ(FindWindowA("xterm", title.c_str()), upper.hwnd());
  EXPECT_EQ(FindWindowA("NoSuchClass", title.c_str()), 0);
  EXPECT_EQ(FindWindowA(nullptr, title.substr(0, title.size() - 1).c_str()), 0);
  SetFocus(lower.hwnd());
  EXPECT_EQ(SetFocus(upper.hwnd()), lower.hwnd());
}

// Topmost is set and cleared without moving the window; a move and size
// go by the outer rectangle.
TEST(SetWindowPos, TopmostStaysInPlaceAndMovesGoByTheOuterRectangle) {
  REQUIRE_DESKTOP();
  Xterm term(UniqueTitle("topmost"));
  const Rect before = WindowRect(term.hwnd());
  const std::tuple<HWND, bool, bool> steps[] = {
      {HWND_TOPMOST, true, true}, {HWND_BOTTOM, false, false}, {HWND_TOPMOST, false, true}, {HWND_NOTOPMOST, true, false}};
  for (const auto& [after, place, above] : steps) {
    ASSERT_TRUE(SetWindowPos(term.hwnd(), after, before.x, before.y, before.width, before.height,
                             place ? 0 : SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_TRUE(WaitUntil([&] { return Above(term.id()) == above; })) << above;
  }
  Shell("xdotool getwindowgeometry " + std::to_string(term.id()));  // a round trip: any move has happened
  EXPECT_EQ(WindowRect(term.hwnd()), before);

  // xterm sizes in whole character cells; grow by a few of them.
  int cellW = 1, cellH = 1;
  std::istringstream(Shell("xprop -id " + std::to_string(term.id()) +
                           " WM_NORMAL_HINTS | awk '/resize increment/{print $5, $7}'")) >> cellW >> cellH;
  const Rect want{200, 150, before.width + 5 * cellW, before.height + 3 * cellH};
  ASSERT_TRUE(SetWindowPos(term.hwnd(), HWND_TOP, want.x, want.y, want.width, want.height, 0));
  Rect now;
  EXPECT_TRUE(WaitUntil([&] { return (now = WindowRect(term.hwnd())) == want; })) << now;
}

// A vanished window is an ordinary result: nothing to capture, no GDI object left.
TEST(WindowServices, AVanishedWindowIsAnOrdinaryResult) {
  REQUIRE_DESKTOP();
  Xterm term(UniqueTitle("vanish"));
  const HWND hwnd = term.hwnd();
  EXPECT_TRUE(IsWindow(hwnd));
  term.Close();
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(hwnd); }));
  RECT rc{1, 2, 3, 4};
  EXPECT_FALSE(GetWindowRect(hwnd, &rc));
  EXPECT_EQ(rc.Left | rc.Top | rc.Right | rc.Bottom, 0);  // cleared
  EXPECT_EQ(GetParent(hwnd), 0);
  EXPECT_FALSE(SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_TRUE(IsWindow(GetDesktopWindow()));
  EXPECT_FALSE(capture::GrabWindow(hwnd));
  EXPECT_FALSE(capture::GrabArea(hwnd, 0, 0, 20, 20));
  EXPECT_EQ(LiveGdiObjects(), 0u);
}
