// What Windows itself says about a top-level window, for the end-to-end
// checks: "HANDLE LEFT TOP RIGHT BOTTOM" of the window with the caption
// given (the handle in decimal, as /HWND= takes it); status 1 when there
// is none.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args || count != 2) return 2;
  const HWND window = FindWindowW(nullptr, args[1]);
  RECT r{};
  if (!window || !GetWindowRect(window, &r)) return 1;
  std::printf("%lld %ld %ld %ld %ld\n", static_cast<long long>(reinterpret_cast<INT_PTR>(window)), r.left, r.top,
              r.right, r.bottom);
  return 0;
}
