// Shared by the window tests: a toolkit that shows nothing, a recorder for
// the platform's window placing, and a check for the 16 VGA colours.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "infowindows/pixel_art.h"
#include "infowindows/window_pos.h"
#include "runtime/gdi.h"
#include "runtime/gui.h"

namespace window_test {

// No dialog, printer or clipboard to talk to; message boxes and beeps are counted.
struct QuietGui : runtime::GuiBackend {
  std::vector<std::string> messages;
  int beeps = 0;
  void Realize(runtime::Form&) override {}
  void Destroy(runtime::Form&) override {}
  void Sync(runtime::Control&, runtime::Prop) override {}
  void Pump(int) override {}
  void Beep() override { ++beeps; }
  void MsgBox(const std::string& text, runtime::MsgBoxStyle, const std::string&) override { messages.push_back(text); }
  runtime::HWND Handle(const runtime::Control&) override { return 0; }
  void Focus(runtime::Control&) override {}
};

using Call = std::tuple<runtime::HWND, runtime::HWND, int, int, int, int, std::uint32_t>;

// Records each call; after it, runs then() (a window manager moving the window).
inline infowindows::SetWindowPosFn Recorder(std::vector<Call>& calls, std::function<void()> then = {}) {
  return [&calls, then](runtime::HWND h, runtime::HWND after, int x, int y, int cx, int cy, std::uint32_t flags) {
    calls.emplace_back(h, after, x, y, cx, cy, flags);
    if (then) then();
    return true;
  };
}

inline bool AllVga(const runtime::Picture& picture) {
  const runtime::Bitmap* bmp = runtime::BitmapOf(picture.Handle());
  for (int y = 0; bmp && y < bmp->height; ++y)
    for (int x = 0; x < bmp->width; ++x) {
      const std::uint8_t* p = bmp->Row(y) + 4 * x;  // blue, green, red
      if (!infowindows::vga::IsVga((p[2] << 16) | (p[1] << 8) | p[0])) return false;
    }
  return bmp != nullptr;
}

}  // namespace window_test
