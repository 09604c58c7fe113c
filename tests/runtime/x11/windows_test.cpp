// Window services against real clients under a real window manager.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

#include <sstream>

#include "runtime/user32.h"
#include "x11_session.h"

using namespace runtime;
using x11test::Shell;
using x11test::WaitUntil;
using x11test::Xterm;

namespace {

std::string Id(HWND hwnd) { return std::to_string(hwnd); }

// Absolute left/top and width/height as xwininfo reports them.
RECT XwininfoRect(const std::string& args) {
  std::istringstream in(Shell("xwininfo " + args +
                            " | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} "
                            "/Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'"));
  int x = 0, y = 0, w = 0, h = 0;
  in >> x >> y >> w >> h;
  return {x, y, x + w, y + h};
}

// The frame around a client, as the window manager states its edges.
RECT FrameRect(HWND hwnd) {
  const RECT client = XwininfoRect("-id " + Id(hwnd));
  int left = 0, right = 0, top = 0, bottom = 0;
  std::sscanf(Shell("xprop -id " + Id(hwnd) + " _NET_FRAME_EXTENTS").c_str(),
              "_NET_FRAME_EXTENTS(CARDINAL) = %d, %d, %d, %d", &left, &right, &top, &bottom);
  return {client.Left - left, client.Top - top, client.Right + right, client.Bottom + bottom};
}

bool Above(HWND hwnd) {
  return Shell("xprop -id " + Id(hwnd) + " _NET_WM_STATE").find("_NET_WM_STATE_ABOVE") != std::string::npos;
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

bool SameRect(const RECT& a, const RECT& b) {
  return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

}  // namespace

TEST(FindWindowA, MatchesTheWholeCaptionExactly) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("find me"));
  ASSERT_NE(term.hwnd(), 0);
  EXPECT_EQ(FindWindowA(nullptr, term.title().c_str()), term.hwnd());
  EXPECT_EQ(FindWindowA("", term.title().c_str()), term.hwnd());
  EXPECT_EQ(FindWindowA("xterm", term.title().c_str()), term.hwnd());  // WM_CLASS, either part
  EXPECT_EQ(FindWindowA("NoSuchClass", term.title().c_str()), 0);
  const std::string prefix = term.title().substr(0, term.title().size() - 1);
  EXPECT_EQ(FindWindowA(nullptr, prefix.c_str()), 0);
  EXPECT_EQ(FindWindowA(nullptr, (term.title() + " ").c_str()), 0);
  EXPECT_EQ(FindWindowA(nullptr, "FIND ME"), 0);
}

TEST(FindWindowA, MatchesUtf8AndLegacyCaptions) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("plain"));
  ASSERT_NE(term.hwnd(), 0);
  const std::string utf8 = "Grüße ✓ " + term.title();
  Shell("xdotool set_window --name '" + utf8 + "' " + Id(term.hwnd()));
  EXPECT_TRUE(WaitUntil([&] { return FindWindowA(nullptr, utf8.c_str()) == term.hwnd(); }));

  // xmessage names itself with WM_NAME only.
  const std::string legacy = x11test::UniqueTitle("legacy");
  x11test::Child message({"xmessage", "-title", legacy, "-geometry", "+500+400", "hello"});
  EXPECT_TRUE(WaitUntil([&] { return FindWindowA(nullptr, legacy.c_str()) != 0; }));
}

TEST(GetWindowRect, CoversTheFrameOfATopLevel) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("rect"));
  ASSERT_NE(term.hwnd(), 0);
  RECT rc;
  ASSERT_TRUE(GetWindowRect(term.hwnd(), &rc));
  const RECT frame = FrameRect(term.hwnd());
  const RECT client = XwininfoRect("-id " + Id(term.hwnd()));
  EXPECT_TRUE(SameRect(rc, frame)) << rc.Left << "," << rc.Top << "," << rc.Right << "," << rc.Bottom;
  EXPECT_LT(rc.Top, client.Top);  // the title bar is above the client
  EXPECT_GT(rc.Bottom - rc.Top, client.Bottom - client.Top);
  EXPECT_LE(rc.Left, client.Left);

  ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &rc));
  EXPECT_TRUE(SameRect(rc, RECT{0, 0, 1024, 768}));
}

TEST(WindowFromPoint, FindsClientsChildrenAndTheDesktop) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("point"), "60x12+300+200");
  ASSERT_NE(term.hwnd(), 0);
  const RECT frame = FrameRect(term.hwnd());
  const RECT client = XwininfoRect("-id " + Id(term.hwnd()));
  // The title bar belongs to the window it frames.
  EXPECT_EQ(WindowFromPoint((client.Left + client.Right) / 2, (frame.Top + client.Top) / 2), term.hwnd());

  // Inside the client: the client or one of its own children.
  const HWND inside = WindowFromPoint(client.Left + 20, client.Top + 20);
  ASSERT_NE(inside, 0);
  if (inside != term.hwnd()) {
    // A child inside a framed client: its own rectangle, no frame.
    EXPECT_EQ(GetParent(inside), term.hwnd());
    RECT rc;
    ASSERT_TRUE(GetWindowRect(inside, &rc));
    EXPECT_TRUE(SameRect(rc, XwininfoRect("-id " + Id(inside))));
  }

  EXPECT_EQ(WindowFromPoint(5, 760), GetDesktopWindow());
  EXPECT_EQ(WindowFromPoint(-1, 10), 0);
  EXPECT_EQ(WindowFromPoint(10, 5000), 0);
}

TEST(GetParent, TopLevelsAndTheRootHaveNone) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("parent"));
  ASSERT_NE(term.hwnd(), 0);
  EXPECT_EQ(GetParent(term.hwnd()), 0);
  EXPECT_EQ(GetParent(GetDesktopWindow()), 0);
  EXPECT_EQ(GetParent(0), 0);

  // A top-level owned by another reports its owner.
  Xterm owned(x11test::UniqueTitle("owned"), "30x5+600+500");
  ASSERT_NE(owned.hwnd(), 0);
  SetTransientFor(owned.hwnd(), term.hwnd());
  EXPECT_TRUE(WaitUntil([&] { return GetParent(owned.hwnd()) == term.hwnd(); }));
}

TEST(WindowServices, AVanishedWindowIsAnOrdinaryResult) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("vanish"));
  const HWND hwnd = term.hwnd();
  ASSERT_NE(hwnd, 0);
  EXPECT_TRUE(IsWindow(hwnd));
  term.Close();
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(hwnd); }));

  RECT rc{1, 2, 3, 4};
  EXPECT_FALSE(GetWindowRect(hwnd, &rc));
  EXPECT_TRUE(SameRect(rc, RECT{}));
  EXPECT_EQ(GetParent(hwnd), 0);
  EXPECT_EQ(FindWindowA(nullptr, term.title().c_str()), 0);
  EXPECT_FALSE(SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_EQ(SetFocus(hwnd), 0);
  EXPECT_FALSE(IsWindow(0));
  EXPECT_FALSE(IsWindow(-5));
  EXPECT_TRUE(IsWindow(GetDesktopWindow()));
}

TEST(SetWindowPos, TopmostIsSetAndClearedWithoutMovingTheWindow) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("topmost"));
  ASSERT_NE(term.hwnd(), 0);
  RECT before;
  ASSERT_TRUE(GetWindowRect(term.hwnd(), &before));
  const std::int32_t w = before.Right - before.Left, h = before.Bottom - before.Top;

  ASSERT_TRUE(SetWindowPos(term.hwnd(), HWND_TOPMOST, before.Left, before.Top, w, h, 0));
  EXPECT_TRUE(WaitUntil([&] { return Above(term.hwnd()); })) << "topmost at its own place";
  ASSERT_TRUE(SetWindowPos(term.hwnd(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_TRUE(WaitUntil([&] { return !Above(term.hwnd()); })) << "bottom";
  ASSERT_TRUE(SetWindowPos(term.hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_TRUE(WaitUntil([&] { return Above(term.hwnd()); })) << "topmost, no move, no size";
  ASSERT_TRUE(SetWindowPos(term.hwnd(), HWND_NOTOPMOST, before.Left, before.Top, w, h, 0));
  EXPECT_TRUE(WaitUntil([&] { return !Above(term.hwnd()); })) << "not topmost";
  ASSERT_TRUE(SetWindowPos(term.hwnd(), HWND_TOP, before.Left, before.Top, w, h, 0));

  // A round trip to the window manager: once it has answered, any move
  // would have happened.
  Shell("xdotool getwindowgeometry " + Id(term.hwnd()));
  RECT after;
  ASSERT_TRUE(GetWindowRect(term.hwnd(), &after));
  EXPECT_TRUE(SameRect(before, after));
}

TEST(SetWindowPos, RestacksToTheBottomAndBackToTheTop) {
  REQUIRE_DESKTOP();
  Xterm lower(x11test::UniqueTitle("lower"), "40x10+100+100");
  Xterm upper(x11test::UniqueTitle("upper"), "40x10+150+130");
  ASSERT_NE(lower.hwnd(), 0);
  ASSERT_NE(upper.hwnd(), 0);
  // The top-level a point on the overlap belongs to.
  const auto owner = [] {
    const HWND h = WindowFromPoint(200, 200);
    return GetParent(h) ? GetParent(h) : h;
  };
  ASSERT_TRUE(WaitUntil([&] { return owner() == upper.hwnd(); }));
  ASSERT_TRUE(SetWindowPos(upper.hwnd(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_TRUE(WaitUntil([&] { return owner() == lower.hwnd(); }));
  ASSERT_TRUE(SetWindowPos(upper.hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_TRUE(WaitUntil([&] { return owner() == upper.hwnd(); }));
}

TEST(SetWindowPos, MovesAndSizesByTheOuterRectangle) {
  REQUIRE_DESKTOP();
  Xterm term(x11test::UniqueTitle("move"));
  ASSERT_NE(term.hwnd(), 0);
  RECT before;
  ASSERT_TRUE(GetWindowRect(term.hwnd(), &before));
  // xterm sizes in whole character cells; grow by a few of them.
  int cellW = 1, cellH = 1;
  std::istringstream(Shell("xprop -id " + Id(term.hwnd()) +
                         " WM_NORMAL_HINTS | awk '/resize increment/{print $5, $7}'")) >>
      cellW >> cellH;
  const RECT want{200, 150, 200 + (before.Right - before.Left) + 5 * cellW,
                  150 + (before.Bottom - before.Top) + 3 * cellH};
  ASSERT_TRUE(SetWindowPos(term.hwnd(), HWND_TOP, want.Left, want.Top, want.Right - want.Left,
                           want.Bottom - want.Top, 0));
  RECT now;
  EXPECT_TRUE(WaitUntil([&] { return GetWindowRect(term.hwnd(), &now) && SameRect(now, want); }))
      << now.Left << "," << now.Top << "," << now.Right << "," << now.Bottom;
}

TEST(CursorAndFocus, ReportWhereThePointerIsAndWhoHadTheFocus) {
  REQUIRE_DESKTOP();
  Shell("xdotool mousemove 321 234");
  POINTAPI p;
  ASSERT_TRUE(GetCursorPos(&p));
  EXPECT_EQ(p.X, 321);
  EXPECT_EQ(p.Y, 234);

  Xterm first(x11test::UniqueTitle("focus a"), "20x5+50+50");
  Xterm second(x11test::UniqueTitle("focus b"), "20x5+400+50");
  ASSERT_NE(first.hwnd(), 0);
  ASSERT_NE(second.hwnd(), 0);
  SetFocus(first.hwnd());
  EXPECT_EQ(SetFocus(second.hwnd()), first.hwnd());
}
