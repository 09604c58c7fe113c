// Screen capture and display properties: what the screen shows is read from
// the root window, so frames, overlapping windows and all come out exactly
// as seen.
#include <xcb/shm.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>

#include "runtime/parallel.h"
#include "runtime/platform.h"
#include "runtime/x11/connection.h"
#include "runtime/x11/pixel_format.h"
#include "runtime/x11/shm_segment.h"
#include "runtime/x11/window_tree.h"
#ifdef GLIMMET_WAYLAND
#include "runtime/wayland/screen_copy.h"
#endif

namespace runtime::x11 {
namespace {

bool IsColormapped(const Connection& c) {
  const auto* v = c.rootVisual();
  return v && (v->_class == XCB_VISUAL_CLASS_STATIC_GRAY || v->_class == XCB_VISUAL_CLASS_GRAY_SCALE ||
               v->_class == XCB_VISUAL_CLASS_STATIC_COLOR || v->_class == XCB_VISUAL_CLASS_PSEUDO_COLOR);
}

int ColormapSize(const Connection& c) {
  const auto* v = c.rootVisual();
  return v ? std::min<int>(v->colormap_entries, 1 << std::min<int>(c.screen().root_depth, 16)) : 0;
}

// The default colormap as 16-bit channels; empty when it cannot be read.
std::vector<xcb_rgb_t> QueryColormap(const Connection& c, std::uint32_t start, std::uint32_t count) {
  std::vector<std::uint32_t> pixels(count);
  for (std::uint32_t i = 0; i < count; ++i) pixels[i] = start + i;
  const auto r = TakeReply(xcb_query_colors_reply, c.xcb(),
                           xcb_query_colors(c.xcb(), c.screen().default_colormap, count, pixels.data()));
  if (!r) return {};
  const xcb_rgb_t* colors = xcb_query_colors_colors(r.get());
  return {colors, colors + xcb_query_colors_colors_length(r.get())};
}

PixelFormat RootFormat(const Connection& c) {
  PixelFormat f;
  f.bitsPerPixel = c.bitsPerPixel();
  f.scanlinePad = c.scanlinePad();
  f.msbFirst = xcb_get_setup(c.xcb())->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
  if (const auto* v = c.rootVisual()) {
    f.redMask = v->red_mask;
    f.greenMask = v->green_mask;
    f.blueMask = v->blue_mask;
  }
  if (IsColormapped(c)) {
    // Asked once per capture: a palette may change between captures.
    for (const xcb_rgb_t& rgb : QueryColormap(c, 0, static_cast<std::uint32_t>(ColormapSize(c))))
      f.colormap.push_back(static_cast<std::uint32_t>(rgb.red >> 8) << 16 |
                           static_cast<std::uint32_t>(rgb.green >> 8) << 8 | static_cast<std::uint32_t>(rgb.blue >> 8));
  }
  return f;
}

// Root pixels of one rectangle, in shared memory or in a reply.
struct RootImage {
  std::shared_ptr<ShmSegment> segment;
  Reply<xcb_get_image_reply_t> reply;
  const std::uint8_t* data = nullptr;
  std::size_t stride = 0;
};

// One request and one reply: the attach is sent ahead without waiting. The
// rows are left in the segment: image.data stays empty, see Rows.
bool ReadShm(Connection& c, const Rect& r, std::size_t stride, RootImage& image) {
  const std::size_t size = stride * static_cast<std::size_t>(r.height);
  image.segment = ShmSegment::Create(c, size);
  if (!image.segment) return false;
  const bool byDescriptor = c.hasShmFd();
  const auto cookie =
      xcb_shm_get_image(c.xcb(), c.root(), static_cast<std::int16_t>(r.x), static_cast<std::int16_t>(r.y),
                        static_cast<std::uint16_t>(r.width), static_cast<std::uint16_t>(r.height), ~0u,
                        XCB_IMAGE_FORMAT_Z_PIXMAP, image.segment->id(), 0);
  xcb_flush(c.xcb());
  // The server fills the segment from the top; meanwhile this thread gives
  // it its pages from the bottom up, so that most of the server's page
  // faults find a page already there. Done here rather than on a thread of
  // its own: a new thread may wait behind the server for its CPU.
  if (Cores() > 1 && byDescriptor) image.segment->AllocateUntilReadable(xcb_get_file_descriptor(c.xcb()));
  const auto reply = TakeReply(xcb_shm_get_image_reply, c.xcb(), cookie);
  const bool attached = image.segment->ConfirmAttach(c);
  image.segment->DetachServer();
  if (!reply || !attached) {
    image.segment.reset();
    // A server that refused the descriptor may still take a System V segment.
    return byDescriptor && !c.hasShmFd() && c.hasShm() && ReadShm(c, r, stride, image);
  }
  image.stride = stride;
  return true;
}

// The rows of an image as memory, mapping a segment if need be.
bool Rows(RootImage& image) {
  if (!image.data && image.segment) image.data = image.segment->data();
  return image.data != nullptr;
}

bool ReadRoot(Connection& c, const Rect& r, const PixelFormat& format, RootImage& image) {
  const std::size_t stride = format.RowBytes(r.width);
  if (ReadShm(c, r, stride, image)) return Rows(image);
  image.reply = TakeReply(
      xcb_get_image_reply, c.xcb(),
      xcb_get_image(c.xcb(), XCB_IMAGE_FORMAT_Z_PIXMAP, c.root(), static_cast<std::int16_t>(r.x),
                    static_cast<std::int16_t>(r.y), static_cast<std::uint16_t>(r.width),
                    static_cast<std::uint16_t>(r.height), ~0u));
  if (!image.reply || static_cast<std::size_t>(xcb_get_image_data_length(image.reply.get())) <
                          stride * static_cast<std::size_t>(r.height))
    return false;
  image.data = xcb_get_image_data(image.reply.get());
  image.stride = stride;
  return true;
}

// The part r (in root pixels) of a top-level window whose inside lies at
// inside, read from the window itself with a plain GetImage: shared memory
// is not trusted where the root cannot be read.
bool ReadWindow(Connection& c, xcb_window_t w, const Rect& inside, const Rect& r, const PixelFormat& format,
                RootImage& image) {
  const std::size_t stride = format.RowBytes(r.width);
  image.reply = TakeReply(
      xcb_get_image_reply, c.xcb(),
      xcb_get_image(c.xcb(), XCB_IMAGE_FORMAT_Z_PIXMAP, w, static_cast<std::int16_t>(r.x - inside.x),
                    static_cast<std::int16_t>(r.y - inside.y), static_cast<std::uint16_t>(r.width),
                    static_cast<std::uint16_t>(r.height), ~0u));
  // A window of another depth comes in another format; one with alpha has
  // the same 32-bit pixels, its alpha where the root's pad byte is.
  const std::uint8_t depth = image.reply ? image.reply->depth : 0;
  if (!image.reply || (depth != c.screen().root_depth && !(depth == 32 && format.IsBgrx())) ||
      static_cast<std::size_t>(xcb_get_image_data_length(image.reply.get())) < stride * static_cast<std::size_t>(r.height))
    return false;
  image.data = xcb_get_image_data(image.reply.get());
  image.stride = stride;
  return true;
}

// Where the window's drawing origin lies on the root.
std::optional<Rect> WindowOrigin(const Connection& c, xcb_window_t w, bool wholeWindow) {
  if (w == XCB_NONE || w == c.root()) return Rect{};
  return wholeWindow ? OuterRect(c, w) : InnerRect(c, w);
}

void ClearRect(Bitmap& dst, const Rect& r) {
  const int bytes = dst.bitsPixel / 8;
  for (std::int32_t y = r.y; y < r.y + r.height; ++y)
    std::memset(dst.Row(y) + static_cast<std::ptrdiff_t>(r.x) * bytes, 0, static_cast<std::size_t>(r.width) * bytes);
}

// The picture of a whole-screen capture: 24-bit bottom-up rows in a file in
// memory, the layout of a DIB section, so that a later CreateFromPicture
// reads them through the file instead of converting again.
void SetPicture(Bitmap& dst, std::shared_ptr<platform::PixelFile> file, std::shared_ptr<void> view,
                std::size_t stride) {
  dst.bitsPixel = 24;
  dst.bottomUp = true;
  dst.stride = static_cast<std::int32_t>(stride);
  dst.bits = static_cast<std::uint8_t*>(view.get());
  dst.storage = std::move(view);
  dst.file = std::move(file);
}

// Rows read, converted and written out at once: both buffers stay in the
// cache, and the segment's pages go back to the system soon after they are
// read, so the 32-bit and the 24-bit screen never both exist whole.
constexpr std::int32_t kBandRows = 16;

// The screen's BGRX rows, read into shared memory, become the picture's
// 24-bit bottom-up rows; every core converts a part of the rows.
bool HandOver(Connection& c, const Rect& r, const PixelFormat& format, Bitmap& dst) {
  const std::size_t stride = static_cast<std::size_t>(r.width * 3 + 3) & ~std::size_t{3};
  RootImage image;
  if (!ReadShm(c, r, format.RowBytes(r.width), image)) return false;
  // A memory-file segment is read through the file, band by band, and
  // never mapped here: its pages would come one fault each, and faults are
  // dear under a hypervisor that shadows the page tables (measured slower
  // on such a machine than the reads, at both screen sizes). A System V
  // segment is already mapped.
  const bool inFile = image.segment->InFile();
  auto file = platform::PixelFile::Create(stride * static_cast<std::size_t>(r.height));
  if (!file || (!inFile && !image.segment->data())) return false;
  std::atomic<bool> written{true};
  const int parts = static_cast<int>(
      std::min<std::int32_t>(static_cast<std::int32_t>(Cores()), std::max<std::int32_t>(1, r.height / 64)));
  RunAll(parts, [&](int k) {
    const std::int32_t first = r.height * k / parts, end = r.height * (k + 1) / parts;
    std::vector<std::uint8_t> in(inFile ? image.stride * kBandRows : 0), out(stride * kBandRows);
    std::size_t released = image.stride * static_cast<std::size_t>(first);
    for (std::int32_t y = first; y < end && written; y += kBandRows) {
      const std::int32_t band = std::min(kBandRows, end - y);
      const std::size_t from = image.stride * static_cast<std::size_t>(y), bytes = image.stride * band;
      const std::uint8_t* const rows = image.segment->Rows(from, bytes, in.data());
      if (!rows) {
        written = false;
        break;
      }
      // Picture row y + i is memory row height - 1 - y - i: the band goes
      // in reversed, ending at the memory row of picture row y.
      for (std::int32_t i = 0; i < band; ++i)
        BgrxToBgr(rows + image.stride * static_cast<std::size_t>(i), r.width,
                  out.data() + stride * static_cast<std::size_t>(band - 1 - i));
      const std::size_t at = stride * static_cast<std::size_t>(r.height - y - band);
      if (!file->Write(out.data(), stride * static_cast<std::size_t>(band), at)) written = false;
      released = image.segment->Release(released, from + bytes);
    }
  });
  if (!written) return false;
  image.segment.reset();
  auto view = file->View();
  if (!view) return false;
  SetPicture(dst, std::move(file), std::move(view), stride);
  return true;
}

}  // namespace
}  // namespace runtime::x11

namespace runtime::platform {

using namespace x11;

bool ReadWindowPixels(HWND hwnd, bool wholeWindow, std::int32_t srcX, std::int32_t srcY, std::int32_t width,
                      std::int32_t height, Bitmap& dst, std::int32_t dstX, std::int32_t dstY) {
  Connection* c = Connection::Get();
  if (!c || hwnd < 0 || (dst.bitsPixel != 24 && dst.bitsPixel != 32)) return false;
  const xcb_window_t window = hwnd == 0 ? c->root() : ToWindow(hwnd);
  // A window the screen does not show has no pixels of its own to give.
  if (window != c->root() && WindowPresence(*c, window) != Presence::OnScreen) return false;
  const auto origin = WindowOrigin(*c, window, wholeWindow);
  const auto screen = CurrentScreenLayout(*c);
  if (!origin || !screen) return false;

  // A rootless server shows no root to read: only a window's own pixels,
  // from its top-level, which holds what its children drew.
  const bool rootless = !c->rootReadable();
  if (rootless && window == c->root()) {
#ifdef GLIMMET_WAYLAND
    // The compositor may still give the screen; Xwayland's root lies on its
    // layout, so the coordinates carry over.
    if (wayland::ScreenCopy* copy = wayland::ScreenCopy::Get())
      return copy->Read(srcX, srcY, width, height, dst, dstX, dstY);
#endif
    return false;
  }
  const xcb_window_t source = rootless ? TopLevelOf(*c, window) : c->root();
  const auto sourceRect = rootless ? InnerRect(*c, source) : std::optional<Rect>(screen->root);
  if (!sourceRect) return false;

  const Rect bounds{0, 0, dst.width, dst.height};
  const Rect target = Intersect({dstX, dstY, width, height}, bounds);
  if (target.Empty()) return true;
  const Rect wanted{origin->x + srcX + (target.x - dstX), origin->y + srcY + (target.y - dstY), target.width,
                    target.height};
  const Rect visible = Intersect(Intersect(wanted, screen->root), *sourceRect);
  const PixelFormat format = RootFormat(*c);

  if (!rootless && !dst.bits && target == bounds && visible == wanted && format.IsBgrx() && dst.bitsPixel == 32 &&
      !dst.bottomUp && HandOver(*c, visible, format, dst))
    return true;
  if (!dst.bits) {
    if (!dst.Allocate()) return false;
  } else if (!(visible == wanted)) {
    ClearRect(dst, target);  // what lies off the screen is black
  }
  if (visible.Empty()) return true;

  RootImage image;
  if (rootless ? !ReadWindow(*c, source, *sourceRect, visible, format, image) : !ReadRoot(*c, visible, format, image))
    return false;
  const std::int32_t x = target.x + (visible.x - wanted.x), y = target.y + (visible.y - wanted.y);
  const int bytes = dst.bitsPixel / 8;
  for (std::int32_t row = 0; row < visible.height; ++row)
    ConvertRow(format, image.data + image.stride * static_cast<std::size_t>(row), visible.width,
               dst.Row(y + row) + static_cast<std::ptrdiff_t>(x) * bytes, bytes);
  return true;
}

DisplayCaps GetDisplayCaps() {
  DisplayCaps caps;
  Connection* c = Connection::Get();
  if (!c) return caps;
  caps.bitsPixel = c->screen().root_depth;
  const auto* v = c->rootVisual();
  caps.palette = v && (v->_class == XCB_VISUAL_CLASS_PSEUDO_COLOR || v->_class == XCB_VISUAL_CLASS_GRAY_SCALE);
  caps.paletteSize = caps.palette ? ColormapSize(*c) : 0;
  return caps;
}

std::uint32_t SystemPalette(std::uint32_t start, std::uint32_t count, PALETTEENTRY* out) {
  if (!out || !GetDisplayCaps().palette) return 0;
  Connection* c = Connection::Get();
  const auto size = static_cast<std::uint32_t>(ColormapSize(*c));
  if (start >= size) return 0;
  const auto colors = QueryColormap(*c, start, std::min(count, size - start));
  for (std::size_t i = 0; i < colors.size(); ++i)
    out[i] = {static_cast<std::uint8_t>(colors[i].red >> 8), static_cast<std::uint8_t>(colors[i].green >> 8),
              static_cast<std::uint8_t>(colors[i].blue >> 8), 0};
  return static_cast<std::uint32_t>(colors.size());
}

void PrimaryScreenRect(std::int32_t& left, std::int32_t& top, std::int32_t& width, std::int32_t& height) {
  left = top = width = height = 0;
  Connection* c = Connection::Get();
  if (!c) return;
  const auto layout = CurrentScreenLayout(*c);
  if (!layout) return;
  const Rect r = layout->primary.value_or(layout->root);
  left = r.x;
  top = r.y;
  width = r.width;
  height = r.height;
}

}  // namespace runtime::platform
