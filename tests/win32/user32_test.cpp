// The window services of the Windows build against real windows under
// Wine (on the session's X display): a framed top-level window with a
// non-ASCII caption and a child control in it.
#include "runtime/user32.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "win32_util.h"

namespace {

// Made unique by the process id, so another test's window never matches.
const std::string kCaption =
    "Pr\xC3\xBC" "fung \xE2\x80\x93 Fenster \xE2\x82\xAC " + std::to_string(GetCurrentProcessId());

void Pump() {
  // Long enough for the window manager to map and place the window.
  for (int i = 0; i < 20; ++i) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(25);
  }
}

runtime::HWND Handle(HWND h) { return static_cast<runtime::HWND>(reinterpret_cast<INT_PTR>(h)); }

class TestWindow {
 public:
  TestWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"GlimmetTestWindow";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&wc);
    top = CreateWindowExW(0, L"GlimmetTestWindow", win32test::FromUtf8(kCaption).wstring().c_str(),
                          WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 120, 320, 240, nullptr, nullptr, wc.hInstance, nullptr);
    if (top)
      child = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE, 10, 10, 120, 40, top, nullptr, wc.hInstance,
                              nullptr);
    Pump();
  }
  ~TestWindow() {
    if (top) DestroyWindow(top);
  }
  HWND top = nullptr, child = nullptr;
};

}  // namespace

TEST(Win32User32, FindsAndMeasuresARealWindowByItsExactCaption) {
  TestWindow w;
  ASSERT_TRUE(w.top) << "no window: is there a display?";
  const runtime::HWND top = Handle(w.top);
  EXPECT_EQ(runtime::FindWindowA(nullptr, kCaption.c_str()), top);
  EXPECT_EQ(runtime::FindWindowA("", kCaption.c_str()), top);
  EXPECT_EQ(runtime::FindWindowA("glimmettestwindow", kCaption.c_str()), top);  // class names ignore case
  EXPECT_EQ(runtime::FindWindowA("Notepad", kCaption.c_str()), 0);
  EXPECT_EQ(runtime::FindWindowA(nullptr, "Pr\xC3\xBC" "fung"), 0);               // no prefix match
  std::string upper = kCaption;
  upper.replace(0, 3, "PR\xC3\x9C");
  EXPECT_EQ(runtime::FindWindowA(nullptr, upper.c_str()), 0);  // nor one that differs in case
  EXPECT_EQ(runtime::FindWindowA(nullptr, "bad \xFF"), 0);

  runtime::RECT r;
  ASSERT_TRUE(runtime::GetWindowRect(top, &r));
  RECT native{};
  ::GetWindowRect(w.top, &native);
  EXPECT_EQ(r.Left, native.left);
  EXPECT_EQ(r.Top, native.top);
  EXPECT_EQ(r.Right - r.Left, 320);
  EXPECT_EQ(r.Bottom - r.Top, 240);
  EXPECT_EQ(runtime::GetDesktopWindow(), Handle(::GetDesktopWindow()));
  EXPECT_EQ(runtime::GetParent(Handle(w.child)), top);
  EXPECT_EQ(runtime::GetParent(top), 0);
  EXPECT_EQ(runtime::WhyNotOnScreen(top), nullptr);
  EXPECT_TRUE(runtime::HasDisplay());
}

TEST(Win32User32, PointingFindsTheControlUnderThePointer) {
  TestWindow w;
  ASSERT_TRUE(w.top);
  SetForegroundWindow(w.top);
  Pump();
  RECT button{};
  ::GetWindowRect(w.child, &button);
  const POINT middle{(button.left + button.right) / 2, (button.top + button.bottom) / 2};
  EXPECT_EQ(runtime::WindowFromPoint(middle.x, middle.y), Handle(w.child));
  ASSERT_TRUE(SetCursorPos(middle.x, middle.y));
  Pump();
  runtime::POINTAPI p;
  ASSERT_TRUE(runtime::GetCursorPos(&p));
  EXPECT_EQ(p.X, middle.x);
  EXPECT_EQ(p.Y, middle.y);
}

TEST(Win32User32, MovedMinimisedOffScreenAndDestroyedWindowsSayWhy) {
  TestWindow w;
  ASSERT_TRUE(w.top);
  const runtime::HWND top = Handle(w.top);
  ASSERT_TRUE(runtime::SetWindowPos(top, 0, 200, 230, 0, 0, 0x0001 | 0x0010));  // SWP_NOSIZE | SWP_NOACTIVATE
  Pump();
  runtime::RECT r;
  ASSERT_TRUE(runtime::GetWindowRect(top, &r));
  EXPECT_EQ(r.Left, 200);
  EXPECT_EQ(r.Top, 230);
  EXPECT_EQ(r.Right - r.Left, 320);

  ShowWindow(w.top, SW_MINIMIZE);
  Pump();
  ASSERT_NE(runtime::WhyNotOnScreen(top), nullptr);
  EXPECT_NE(std::strstr(runtime::WhyNotOnScreen(top), "not shown"), nullptr);
  ShowWindow(w.top, SW_RESTORE);
  runtime::SetWindowPos(top, 0, -5000, -5000, 0, 0, 0x0001 | 0x0010);
  Pump();
  ASSERT_NE(runtime::WhyNotOnScreen(top), nullptr);
  EXPECT_STREQ(runtime::WhyNotOnScreen(top), "lies entirely off the screen");

  DestroyWindow(w.top);
  w.top = nullptr;
  EXPECT_FALSE(runtime::IsWindow(top));
  EXPECT_FALSE(runtime::GetWindowRect(top, &r));
  EXPECT_EQ(r.Right, 0);
  EXPECT_STREQ(runtime::WhyNotOnScreen(top), "does not exist");
  EXPECT_EQ(runtime::FindWindowA(nullptr, kCaption.c_str()), 0);
}
