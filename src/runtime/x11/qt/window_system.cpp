// The X11 side of the toolkit peers: the display probe, the toolkit's xcb
// platform, and the requests the peers make on the toolkit's connection.
#include "runtime/qt/window_system.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>

#include "runtime/x11/connection.h"

namespace runtime::x11 {
namespace {

class QtWindowSystem : public qt::WindowSystem {
 public:
  void Attach() override {
    // Looked up once: the lookup compares type names, and Flush runs on
    // every pass of the event loop.
    if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) c_ = x11->connection();
  }

  void Flush() override {
    if (c_) xcb_flush(c_);
  }

  std::optional<qt::ScreenPoint> ClientOrigin(std::uintptr_t window) override {
    if (!c_) return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    const Reply<xcb_translate_coordinates_reply_t> r(xcb_translate_coordinates_reply(
        c_, xcb_translate_coordinates(c_, static_cast<xcb_window_t>(window), root, 0, 0), nullptr));
    if (!r) return std::nullopt;
    return qt::ScreenPoint{r->dst_x, r->dst_y};
  }

  // The window manager takes the frame down only after it hears of the
  // unmap, and a capture right after a hide must not find it still there.
  void WaitUntilOffScreen(std::uintptr_t window) override {
    if (!c_) return;
    const auto self = static_cast<xcb_window_t>(window);
    xcb_flush(c_);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 500) {
      const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c_, xcb_query_tree(c_, self), nullptr));
      if (!tree) return;
      if (tree->parent == tree->root) return;  // not framed (or no longer): our own unmap is done
      const Reply<xcb_get_window_attributes_reply_t> a(
          xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, tree->parent), nullptr));
      if (!a || a->map_state != XCB_MAP_STATE_VIEWABLE) return;
      QThread::msleep(2);
    }
  }

 private:
  xcb_connection_t* c_ = nullptr;  // the toolkit's own
};

}  // namespace
}  // namespace runtime::x11

std::unique_ptr<runtime::qt::WindowSystem> runtime::qt::OpenWindowSystem() {
  xcb_connection_t* probe = xcb_connect(nullptr, nullptr);
  const bool reachable = probe && !xcb_connection_has_error(probe);
  if (probe) xcb_disconnect(probe);
  if (!reachable) return nullptr;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 0);
  return std::make_unique<x11::QtWindowSystem>();
}
