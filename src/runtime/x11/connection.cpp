#include "runtime/x11/connection.h"

#include <sys/socket.h>
#include <xcb/randr.h>
#include <xcb/shm.h>

#include <cstring>

#include "runtime/platform.h"

namespace runtime::x11 {
namespace {

const xcb_visualtype_t* FindVisual(const xcb_screen_t& screen) {
  for (auto d = xcb_screen_allowed_depths_iterator(&screen); d.rem; xcb_depth_next(&d))
    for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
      if (v.data->visual_id == screen.root_visual) return v.data;
  return nullptr;
}

}  // namespace

Connection* Connection::Get() {
  // Opened once; a failed attempt is not retried, so a run without a display
  // pays for it only once.
  static std::unique_ptr<Connection> instance = []() -> std::unique_ptr<Connection> {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
      xcb_disconnect(c);
      return nullptr;
    }
    return std::unique_ptr<Connection>(new Connection(c, screenNumber));
  }();
  return instance && !xcb_connection_has_error(instance->c_) ? instance.get() : nullptr;
}

Connection::Connection(xcb_connection_t* c, int screenNumber) : c_(c) {
  const xcb_setup_t* setup = xcb_get_setup(c_);
  auto it = xcb_setup_roots_iterator(setup);
  for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
  screen_ = it.data;
  visual_ = FindVisual(*screen_);
  for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
    if (f.data->depth == screen_->root_depth) {
      bitsPerPixel_ = f.data->bits_per_pixel;
      scanlinePad_ = f.data->scanline_pad;
    }
  ProbeExtensions();
}

Connection::~Connection() { xcb_disconnect(c_); }

void Connection::ProbeExtensions() {
  xcb_prefetch_extension_data(c_, &xcb_shm_id);
  xcb_prefetch_extension_data(c_, &xcb_randr_id);
  // Every server with the extension has the requests used here; one that
  // cannot reach our segments fails the first attach instead.
  const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c_, &xcb_shm_id);
  shm_ = shm && shm->present;
  // Descriptors only travel over a local socket; a server too old to take
  // them fails the first attach, and System V segments take over.
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  shmFd_ = shm_ && getsockname(xcb_get_file_descriptor(c_), reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
           address.ss_family == AF_UNIX;
  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c_, &xcb_randr_id);
  if (randr && randr->present) randrVersion_ = xcb_randr_query_version(c_, 1, 5);
  // One pixel of the root, plainly: its answer travels with the first
  // round trip of the capture.
  rootProbe_ = xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, screen_->root, 0, 0, 1, 1, ~0u);
}

bool Connection::rootReadable() const {
  if (rootProbe_) {
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_image_reply_t> pixel(xcb_get_image_reply(c_, *rootProbe_, &error));
    Reply<xcb_generic_error_t> owned(error);
    rootProbe_.reset();
    // Only BadMatch says rootless; any other failure is left to the capture.
    rootReadable_ = !(error && error->error_code == XCB_MATCH);
  }
  return rootReadable_;
}

namespace {

constexpr std::pair<const char*, xcb_atom_t Atoms::*> kAtomNames[] = {
    {"_NET_CLIENT_LIST", &Atoms::netClientList},
    {"_NET_CLIENT_LIST_STACKING", &Atoms::netClientListStacking},
    {"_NET_WM_NAME", &Atoms::netWmName},
    {"_NET_WM_STATE", &Atoms::netWmState},
    {"_NET_WM_STATE_ABOVE", &Atoms::netWmStateAbove},
    {"_NET_RESTACK_WINDOW", &Atoms::netRestackWindow},
    {"_NET_MOVERESIZE_WINDOW", &Atoms::netMoveresizeWindow},
    {"_NET_SUPPORTING_WM_CHECK", &Atoms::netSupportingWmCheck},
    {"WM_STATE", &Atoms::wmState},
    {"WM_TRANSIENT_FOR", &Atoms::wmTransientFor},
};

}  // namespace

void Connection::PrefetchAtoms() const {
  if (atomsTaken_ || !atomsAsked_.empty()) return;
  std::vector<std::string> names;
  for (const auto& [name, field] : kAtomNames) names.emplace_back(name);
  atomsAsked_ = AskAtoms(c_, names);
}

void Connection::CollectRandrVersion() const {
  if (!randrVersion_) return;
  Reply<xcb_randr_query_version_reply_t> v(xcb_randr_query_version_reply(c_, *randrVersion_, nullptr));
  randrVersion_.reset();
  // The primary output needs RandR 1.3, monitors 1.5.
  randr_ = v && (v->major_version > 1 || v->minor_version >= 3);
  randrMonitors_ = v && (v->major_version > 1 || v->minor_version >= 5);
}

const Atoms& Connection::atoms() const {
  if (!atomsTaken_) {
    PrefetchAtoms();
    const std::vector<xcb_atom_t> atoms = TakeAtoms(c_, atomsAsked_);
    atomsAsked_.clear();
    atomsTaken_ = true;
    for (std::size_t i = 0; i < std::size(kAtomNames); ++i) atoms_.*kAtomNames[i].second = atoms[i];
  }
  return atoms_;
}

std::vector<xcb_intern_atom_cookie_t> AskAtoms(xcb_connection_t* c, const std::vector<std::string>& names) {
  std::vector<xcb_intern_atom_cookie_t> cookies;
  for (const std::string& name : names)
    cookies.push_back(xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data()));
  return cookies;
}

std::vector<xcb_atom_t> TakeAtoms(xcb_connection_t* c, const std::vector<xcb_intern_atom_cookie_t>& cookies) {
  std::vector<xcb_atom_t> atoms;
  for (const xcb_intern_atom_cookie_t& cookie : cookies) {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookie, nullptr));
    atoms.push_back(reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE});
  }
  return atoms;
}

std::vector<xcb_atom_t> InternAtoms(xcb_connection_t* c, const std::vector<std::string>& names) {
  return TakeAtoms(c, AskAtoms(c, names));
}

bool Connection::Check(xcb_void_cookie_t cookie) const {
  Reply<xcb_generic_error_t> error(xcb_request_check(c_, cookie));
  return !error && !xcb_connection_has_error(c_);
}

bool Connection::WindowManagerRunning() const {
  // The check window must point at itself; a stale property left by a
  // window manager that died does not.
  const auto root = GetProperty32(*this, screen_->root, atoms().netSupportingWmCheck, XCB_ATOM_WINDOW);
  if (root.empty() || root[0] == XCB_NONE) return false;
  const auto self = GetProperty32(*this, root[0], atoms().netSupportingWmCheck, XCB_ATOM_WINDOW);
  return !self.empty() && self[0] == root[0];
}

std::vector<std::uint32_t> GetProperty32(const Connection& c, xcb_window_t w, xcb_atom_t property,
                                         xcb_atom_t type) {
  if (property == XCB_NONE) return {};
  const auto r =
      TakeReply(xcb_get_property_reply, c.xcb(), xcb_get_property(c.xcb(), 0, w, property, type, 0, 1 << 16));
  return Values32(r.get(), type);
}

std::vector<std::uint32_t> Values32(const xcb_get_property_reply_t* r, xcb_atom_t type) {
  if (!r || r->format != 32 || r->type != type) return {};
  const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(r));
  return {data, data + xcb_get_property_value_length(r) / 4};
}

}  // namespace runtime::x11

namespace runtime::platform {

bool Connect() { return x11::Connection::Get() != nullptr; }

namespace {
// A Wayland session says so in its environment, whether or not it also
// offers an X display through Xwayland.
bool WaylandSession() {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return (wayland && *wayland) || (type && std::strcmp(type, "wayland") == 0);
}
}  // namespace

std::string ConnectFailure() {
  if (!WaylandSession()) return "cannot open the X display (is DISPLAY set?)";
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display)
    return "this is a Wayland session without an X display (DISPLAY is not set); Glimmet captures through "
           "X11: enable Xwayland in the compositor and set DISPLAY, or log in to an X11 session";
  return std::string("cannot open the X display \"") + display +
         "\" of this Wayland session (is its Xwayland running?); Glimmet captures through X11: enable Xwayland "
         "in the compositor, or log in to an X11 session";
}

const char* ScreenUnreadable() {
  const x11::Connection* c = x11::Connection::Get();
  if (!c || c->rootReadable()) return nullptr;
  if (WaylandSession())
    return "the X server is a rootless Xwayland on a Wayland desktop, which lets no X client read the screen, "
           "and the compositor gave none through wlr-screencopy (sway and other wlroots desktops offer it); "
           "capture one X window with /HWND= or /WINDOWTEXT=, or log in to an X11 session for the whole screen";
  return "the X server is a rootless Xwayland on a Wayland desktop, which lets no X client read the screen; "
         "capture one X window with /HWND= or /WINDOWTEXT=, or log in to an X11 session for the whole screen";
}

}  // namespace runtime::platform
