#include "runtime/wayland/screen_copy.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "runtime/wayland/frame_pixels.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace runtime::wayland {
namespace {

bool WaylandSession() {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return (wayland && *wayland) || (type && std::strcmp(type, "wayland") == 0);
}

// --- the registry: the globals this capture needs ---

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version);
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

struct Globals {
  wl_shm* shm = nullptr;
  zwlr_screencopy_manager_v1* manager = nullptr;
  std::uint32_t managerVersion = 0;
  std::vector<ScreenCopy::Output>* outputs = nullptr;
};

void OnGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t, std::int32_t,
                const char*, const char*, std::int32_t) {
  auto* o = static_cast<ScreenCopy::Output*>(data);
  o->x = x;
  o->y = y;
}
void OnMode(void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {}
void OnDone(void*, wl_output*) {}
void OnScale(void*, wl_output*, std::int32_t) {}
void OnText(void*, wl_output*, const char*) {}  // name and description, from version 4
const wl_output_listener kOutputListener = {OnGeometry, OnMode, OnDone, OnScale, OnText, OnText};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
  auto* g = static_cast<Globals*>(data);
  if (std::strcmp(interface, wl_shm_interface.name) == 0) {
    g->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
    g->managerVersion = std::min<std::uint32_t>(version, 3);
    g->manager = static_cast<zwlr_screencopy_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, g->managerVersion));
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    ScreenCopy::Output o;
    o.name = name;
    o.output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1));
    g->outputs->push_back(o);
  }
}

// --- one frame of one output ---

struct Frame {
  std::uint32_t format = 0, width = 0, height = 0, stride = 0;
  bool shmOffered = false;  // a wl_shm buffer was described
  bool described = false;   // every buffer kind has been described
  bool yInvert = false;
  bool ready = false, failed = false;
};

void OnBuffer(void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width, std::uint32_t height,
              std::uint32_t stride) {
  auto* f = static_cast<Frame*>(data);
  f->format = format;
  f->width = width;
  f->height = height;
  f->stride = stride;
  f->shmOffered = true;
}
void OnFlags(void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
  static_cast<Frame*>(data)->yInvert = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}
void OnReady(void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
  static_cast<Frame*>(data)->ready = true;
}
void OnFailed(void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->failed = true; }
void OnDamage(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void OnDmabuf(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void OnBufferDone(void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->described = true; }
const zwlr_screencopy_frame_v1_listener kFrameListener = {OnBuffer, OnFlags,  OnReady,     OnFailed,
                                                          OnDamage, OnDmabuf, OnBufferDone};

static_assert(kArgb8888 == WL_SHM_FORMAT_ARGB8888 && kXrgb8888 == WL_SHM_FORMAT_XRGB8888 &&
              kAbgr8888 == WL_SHM_FORMAT_ABGR8888 && kXbgr8888 == WL_SHM_FORMAT_XBGR8888);

// Shared memory the compositor writes one frame into.
class ShmBuffer {
 public:
  ShmBuffer(wl_shm* shm, const Frame& f) : size_(static_cast<std::size_t>(f.stride) * f.height) {
    const int fd = memfd_create("glimmet-screencopy", MFD_CLOEXEC);
    if (fd < 0) return;
    if (ftruncate(fd, static_cast<off_t>(size_)) == 0) {
      void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (p != MAP_FAILED) {
        data_ = static_cast<std::uint8_t*>(p);
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(size_));
        buffer_ = wl_shm_pool_create_buffer(pool, 0, static_cast<std::int32_t>(f.width),
                                            static_cast<std::int32_t>(f.height), static_cast<std::int32_t>(f.stride),
                                            f.format);
        wl_shm_pool_destroy(pool);
      }
    }
    close(fd);
  }
  ~ShmBuffer() {
    if (buffer_) wl_buffer_destroy(buffer_);
    if (data_) munmap(data_, size_);
  }
  ShmBuffer(const ShmBuffer&) = delete;
  ShmBuffer& operator=(const ShmBuffer&) = delete;

  wl_buffer* buffer() const { return buffer_; }
  const std::uint8_t* data() const { return data_; }

 private:
  std::size_t size_;
  std::uint8_t* data_ = nullptr;
  wl_buffer* buffer_ = nullptr;
};

}  // namespace

ScreenCopy* ScreenCopy::Get() {
  static std::unique_ptr<ScreenCopy> instance = []() -> std::unique_ptr<ScreenCopy> {
    if (!WaylandSession()) return nullptr;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    std::unique_ptr<ScreenCopy> copy(new ScreenCopy(display));
    return copy->Bind() ? std::move(copy) : nullptr;
  }();
  return instance.get();
}

ScreenCopy::ScreenCopy(wl_display* display) : display_(display) {}

ScreenCopy::~ScreenCopy() {
  for (const Output& o : outputs_) wl_output_destroy(o.output);
  if (manager_) zwlr_screencopy_manager_v1_destroy(manager_);
  if (shm_) wl_shm_destroy(shm_);
  if (registry_) wl_registry_destroy(registry_);
  wl_display_disconnect(display_);
}

bool ScreenCopy::Bind() {
  Globals g;
  g.outputs = &outputs_;
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, &g);
  if (wl_display_roundtrip(display_) < 0) return false;
  shm_ = g.shm;
  manager_ = g.manager;
  managerVersion_ = g.managerVersion;
  for (Output& o : outputs_) wl_output_add_listener(o.output, &kOutputListener, &o);
  // The outputs tell their place in answer to the bind.
  if (wl_display_roundtrip(display_) < 0) return false;
  return shm_ && manager_ && !outputs_.empty();
}

bool ScreenCopy::Read(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, Bitmap& dst,
                      std::int32_t dstX, std::int32_t dstY) {
  if (dst.bitsPixel != 24 && dst.bitsPixel != 32) return false;
  if (!dst.bits) {
    if (!dst.Allocate()) return false;
  } else {
    // What no output covers stays black.
    const std::int32_t top = std::max(dstY, 0), bottom = std::min(dstY + height, dst.height);
    const std::int32_t left = std::max(dstX, 0), right = std::min(dstX + width, dst.width);
    for (std::int32_t row = top; row < bottom && left < right; ++row)
      std::memset(dst.Row(row) + static_cast<std::ptrdiff_t>(left) * (dst.bitsPixel / 8), 0,
                  static_cast<std::size_t>(right - left) * (dst.bitsPixel / 8));
  }
  for (const Output& o : outputs_)
    if (!CopyOutput(o, dst, x, y, width, height, dstX, dstY)) return false;
  return true;
}

bool ScreenCopy::CopyOutput(const Output& output, Bitmap& dst, std::int32_t x, std::int32_t y, std::int32_t width,
                            std::int32_t height, std::int32_t dstX, std::int32_t dstY) {
  Frame f;
  zwlr_screencopy_frame_v1* frame = zwlr_screencopy_manager_v1_capture_output(manager_, 0, output.output);
  zwlr_screencopy_frame_v1_add_listener(frame, &kFrameListener, &f);
  // Before version 3 the one buffer event is all the description there is.
  bool ok = true;
  while (ok && !f.failed && !(f.shmOffered && (f.described || managerVersion_ < 3)))
    ok = wl_display_dispatch(display_) >= 0;
  ok = ok && !f.failed && FramePixels::Known(f.format) && f.width > 0 && f.height > 0 && f.stride >= f.width * 4;
  std::unique_ptr<ShmBuffer> buffer;
  if (ok) {
    buffer = std::make_unique<ShmBuffer>(shm_, f);
    ok = buffer->buffer() != nullptr;
  }
  if (ok) {
    zwlr_screencopy_frame_v1_copy(frame, buffer->buffer());
    while (ok && !f.ready && !f.failed) ok = wl_display_dispatch(display_) >= 0;
    ok = ok && f.ready;
  }
  zwlr_screencopy_frame_v1_destroy(frame);
  if (!ok) return false;

  FramePixels pixels;
  pixels.data = buffer->data();
  pixels.format = f.format;
  pixels.width = static_cast<std::int32_t>(f.width);
  pixels.height = static_cast<std::int32_t>(f.height);
  pixels.stride = static_cast<std::int32_t>(f.stride);
  pixels.yInvert = f.yInvert;
  pixels.x = output.x;
  pixels.y = output.y;
  pixels.CopyInto(x, y, width, height, dst, dstX, dstY);
  return true;
}

}  // namespace runtime::wayland
