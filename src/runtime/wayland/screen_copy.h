// The screen of a wlroots desktop (sway and its kin), read through the
// compositor's wlr-screencopy protocol: a Wayland desktop lets no X client
// read the screen, but one that offers this protocol gives its outputs'
// pixels to any client that asks, without a dialog.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/gdi.h"

struct wl_display;
struct wl_registry;
struct wl_shm;
struct wl_output;
struct zwlr_screencopy_manager_v1;

namespace runtime::wayland {

class ScreenCopy {
 public:
  // The one connection of the process, opened on first use; nullptr when
  // this is no Wayland session or its compositor offers no screencopy.
  static ScreenCopy* Get();
  ScreenCopy(const ScreenCopy&) = delete;
  ScreenCopy& operator=(const ScreenCopy&) = delete;
  ~ScreenCopy();

  // Fills width x height pixels of dst (24 or 32-bit BGR(X)) at (dstX, dstY)
  // with what the outputs show at (x, y) of the compositor's layout; what no
  // output covers is black. dst is given storage when it has none. False
  // when an output could not be copied.
  bool Read(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, Bitmap& dst,
            std::int32_t dstX, std::int32_t dstY);

  struct Output {
    wl_output* output = nullptr;
    std::uint32_t name = 0;
    std::int32_t x = 0, y = 0;  // place in the layout
  };

 private:
  explicit ScreenCopy(wl_display* display);
  bool Bind();
  bool CopyOutput(const Output& output, Bitmap& dst, std::int32_t x, std::int32_t y, std::int32_t width,
                  std::int32_t height, std::int32_t dstX, std::int32_t dstY);

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_shm* shm_ = nullptr;
  zwlr_screencopy_manager_v1* manager_ = nullptr;
  std::uint32_t managerVersion_ = 0;
  std::vector<Output> outputs_;
};

}  // namespace runtime::wayland
