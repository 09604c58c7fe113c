// Window services against real clients under a real window manager.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include "capture/capture_bitmap.h"
#include "runtime/platform.h"
#include "runtime/user32.h"
#include "x11_session.h"

using namespace runtime;
using namespace x11test;

namespace {

Rect Of(const RECT& r) { return {r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top}; }

Rect WindowRect(HWND hwnd) {
  RECT rc{};
  EXPECT_TRUE(GetWindowRect(hwnd, &rc));
  return Of(rc);
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

TEST(FindWindowA, MatchesTheWholeCaptionExactlyInEveryEncoding) {
  REQUIRE_DESKTOP();
  Xterm term(UniqueTitle("find me"));
  ASSERT_NE(term.id(), 0u);
  const std::string& title = term.title();
  EXPECT_EQ(FindWindowA(nullptr, title.c_str()), term.hwnd());
  EXPECT_EQ(FindWindowA("", title.c_str()), term.hwnd());
  EXPECT_EQ(FindWindowA("xterm", title.c_str()), term.hwnd());  // WM_CLASS, either part
  EXPECT_EQ(FindWindowA("NoSuchClass", title.c_str()), 0);
  EXPECT_EQ(FindWindowA(nullptr, title.substr(0, title.size() - 1).c_str()), 0);
  EXPECT_EQ(FindWindowA(nullptr, (title + " ").c_str()), 0);
  EXPECT_EQ(FindWindowA(nullptr, "FIND ME"), 0);

  const std::string utf8 = "Grüße ✓ " + title;
  Shell("xdotool set_window --name " + Quote(utf8) + " " + std::to_string(term.id()));
  EXPECT_TRUE(WaitUntil([&] { return FindWindowA(nullptr, utf8.c_str()) == term.hwnd(); }));
  // xmessage names itself with WM_NAME only.
  const std::string legacy = UniqueTitle("legacy");
  Child message({"xmessage", "-title", legacy, "-geometry", "+500+400", "hello"});
  EXPECT_TRUE(WaitUntil([&] { return FindWindowA(nullptr, legacy.c_str()) != 0; }));
}

// Rectangles, the windows at points, and parents: top-levels and the root
// have none, their children and owned windows do.
TEST(WindowGeometry, RectsPointsAndParentsOfTopLevelsChildrenAndTheDesktop) {
  REQUIRE_DESKTOP();
  Xterm term(UniqueTitle("point"), "60x12+300+200"), owned(UniqueTitle("owned"), "30x5+600+500");
  ASSERT_NE(term.id(), 0u);
  ASSERT_NE(owned.id(), 0u);
  const Rect frame = FrameRect(term.id()), client = Geometry(term.id());
  EXPECT_EQ(WindowRect(term.hwnd()), frame);
  EXPECT_LT(frame.y, client.y);  // the title bar is above the client
  EXPECT_GT(frame.height, client.height);
  EXPECT_EQ(WindowRect(GetDesktopWindow()), (Rect{0, 0, 1024, 768}));

  // The title bar belongs to the window it frames.
  EXPECT_EQ(WindowFromPoint(client.x + client.width / 2, (frame.y + client.y) / 2), term.hwnd());
  // Inside the client: the client or one of its own children, which has
  // its own rectangle and no frame.
  const HWND inside = WindowFromPoint(client.x + 20, client.y + 20);
  ASSERT_NE(inside, 0);
  if (inside != term.hwnd()) {
    EXPECT_EQ(GetParent(inside), term.hwnd());
    EXPECT_EQ(WindowRect(inside), Geometry(inside));
  }
  EXPECT_EQ(WindowFromPoint(5, 760), GetDesktopWindow());
  EXPECT_EQ(WindowFromPoint(-1, 10), 0);
  EXPECT_EQ(WindowFromPoint(10, 5000), 0);

  EXPECT_EQ(GetParent(term.hwnd()), 0);
  EXPECT_EQ(GetParent(GetDesktopWindow()), 0);
  EXPECT_EQ(GetParent(0), 0);
  SetTransientFor(owned.hwnd(), term.hwnd());
  EXPECT_TRUE(WaitUntil([&] { return GetParent(owned.hwnd()) == term.hwnd(); }));
}

// Nothing to capture either, and no GDI object left behind.
TEST(WindowServices, AVanishedWindowIsAnOrdinaryResult) {
  REQUIRE_DESKTOP();
  Xterm term(UniqueTitle("vanish"));
  const HWND hwnd = term.hwnd();
  ASSERT_NE(hwnd, 0);
  EXPECT_TRUE(IsWindow(hwnd));
  term.Close();
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(hwnd); }));

  RECT rc{1, 2, 3, 4};
  EXPECT_FALSE(GetWindowRect(hwnd, &rc));
  EXPECT_EQ(Of(rc), Rect{});
  EXPECT_EQ(GetParent(hwnd), 0);
  EXPECT_EQ(FindWindowA(nullptr, term.title().c_str()), 0);
  EXPECT_FALSE(SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_EQ(SetFocus(hwnd), 0);
  EXPECT_FALSE(IsWindow(0));
  EXPECT_FALSE(IsWindow(-5));
  EXPECT_TRUE(IsWindow(GetDesktopWindow()));
  EXPECT_FALSE(capture::GrabWindow(hwnd));
  EXPECT_FALSE(capture::GrabArea(hwnd, 0, 0, 20, 20));
  Bitmap b;
  b.width = b.height = 4;
  EXPECT_FALSE(platform::ReadWindowPixels(hwnd, true, 0, 0, 4, 4, b, 0, 0));
  EXPECT_EQ(LiveGdiObjects(), 0u);
}

TEST(SetWindowPos, TopmostIsSetAndClearedWithoutMovingTheWindow) {
  REQUIRE_DESKTOP();
  Xterm term(UniqueTitle("topmost"));
  ASSERT_NE(term.id(), 0u);
  const Rect before = WindowRect(term.hwnd());
  const auto set = [&](HWND after, bool place) {
    const std::uint32_t keep = place ? 0 : SWP_NOMOVE | SWP_NOSIZE;
    return SetWindowPos(term.hwnd(), after, before.x, before.y, before.width, before.height, keep);
  };
  const std::tuple<HWND, bool, bool, const char*> steps[] = {{HWND_TOPMOST, true, true, "topmost at its own place"},
                                                             {HWND_BOTTOM, false, false, "bottom"},
                                                             {HWND_TOPMOST, false, true, "topmost, no move, no size"},
                                                             {HWND_NOTOPMOST, true, false, "not topmost"}};
  for (const auto& [after, place, above, what] : steps) {
    ASSERT_TRUE(set(after, place)) << what;
    EXPECT_TRUE(WaitUntil([&] { return Above(term.id()) == above; })) << what;
  }
  ASSERT_TRUE(set(HWND_TOP, true));
  // A round trip to the window manager: once it has answered, any move
  // would have happened.
  Shell("xdotool getwindowgeometry " + std::to_string(term.id()));
  EXPECT_EQ(WindowRect(term.hwnd()), before);
}

TEST(SetWindowPos, RestacksToTheBottomAndBackToTheTop) {
  REQUIRE_DESKTOP();
  Xterm lower(UniqueTitle("lower"), "40x10+100+100"), upper(UniqueTitle("upper"), "40x10+150+130");
  ASSERT_NE(lower.id(), 0u);
  ASSERT_NE(upper.id(), 0u);
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
  Xterm term(UniqueTitle("move"));
  ASSERT_NE(term.id(), 0u);
  const Rect before = WindowRect(term.hwnd());
  // xterm sizes in whole character cells; grow by a few of them.
  int cellW = 1, cellH = 1;
  std::istringstream(Shell("xprop -id " + std::to_string(term.id()) +
                           " WM_NORMAL_HINTS | awk '/resize increment/{print $5, $7}'")) >>
      cellW >> cellH;
  const Rect want{200, 150, before.width + 5 * cellW, before.height + 3 * cellH};
  ASSERT_TRUE(SetWindowPos(term.hwnd(), HWND_TOP, want.x, want.y, want.width, want.height, 0));
  Rect now;
  EXPECT_TRUE(WaitUntil([&] { return (now = WindowRect(term.hwnd())) == want; })) << now;
}

TEST(CursorAndFocus, ReportWhereThePointerIsAndWhoHadTheFocus) {
  REQUIRE_DESKTOP();
  Shell("xdotool mousemove 321 234");
  POINTAPI p;
  ASSERT_TRUE(GetCursorPos(&p));
  EXPECT_EQ(p.X, 321);
  EXPECT_EQ(p.Y, 234);

  Xterm first(UniqueTitle("focus a"), "20x5+50+50"), second(UniqueTitle("focus b"), "20x5+400+50");
  ASSERT_NE(first.id(), 0u);
  ASSERT_NE(second.id(), 0u);
  SetFocus(first.hwnd());
  EXPECT_EQ(SetFocus(second.hwnd()), first.hwnd());
}
