// The one platform call the information windows and the main window make
// to set their Z order, held as a replaceable function so that tests can
// record the calls instead of moving real windows.
#pragma once
#include <cstdint>
#include <functional>
#include <utility>

#include "runtime/forms.h"
#include "runtime/screen.h"
#include "runtime/types.h"
#include "runtime/user32.h"

namespace infowindows {

using SetWindowPosFn = std::function<bool(runtime::HWND hwnd, runtime::HWND insertAfter, std::int32_t x,
                                          std::int32_t y, std::int32_t cx, std::int32_t cy,
                                          std::uint32_t flags)>;

inline SetWindowPosFn PlatformSetWindowPos() {
  return [](runtime::HWND h, runtime::HWND after, std::int32_t x, std::int32_t y, std::int32_t cx,
            std::int32_t cy, std::uint32_t flags) { return runtime::SetWindowPos(h, after, x, y, cx, cy, flags); };
}

// Twips to pixels, to the nearest integer.
inline std::int32_t ToPixels(double twips, double twipsPerPixel) { return runtime::CLng(twips / twipsPerPixel); }

// Calls setWindowPos with the form's own outer place and size converted at a
// fixed 15 twips per pixel and flags 0, so only the Z order changes.
inline bool Restack(const SetWindowPosFn& setWindowPos, const runtime::Form& form, runtime::HWND insertAfter) {
  constexpr double kTwipsPerPixel = 15;
  return setWindowPos(form.hWnd(), insertAfter, ToPixels(form.Left(), kTwipsPerPixel),
                      ToPixels(form.Top(), kTwipsPerPixel), ToPixels(form.Width(), kTwipsPerPixel),
                      ToPixels(form.Height(), kTwipsPerPixel), 0);
}

// Runs a window call at once when the form already has its native window,
// else at the form's first activation: the window appears only when the
// form is first shown, after its load handler.
class WhenShown {
 public:
  void Call(const runtime::Form& form, std::function<void()> call) {
    pending_ = nullptr;
    if (form.hWnd())
      call();
    else
      pending_ = std::move(call);
  }
  void Activated() {
    if (auto call = std::exchange(pending_, nullptr)) call();
  }

 private:
  std::function<void()> pending_;
};

}  // namespace infowindows
