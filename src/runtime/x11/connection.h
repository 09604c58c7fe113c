// The one XCB connection of the process, opened on first use, with the
// extensions and atoms probed once.
#pragma once
#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace runtime::x11 {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
// Every XCB reply and error is malloc'd; this owns one.
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// Takes the reply to a request, collecting its error, if any, with it: an
// error left uncollected would arrive as an event, and the pointer watch
// takes every event on the connection for a change.
template <typename T, typename Cookie>
Reply<T> TakeReply(T* (*take)(xcb_connection_t*, Cookie, xcb_generic_error_t**), xcb_connection_t* c,
                   Cookie cookie) {
  xcb_generic_error_t* error = nullptr;
  Reply<T> reply(take(c, cookie, &error));
  std::free(error);
  return reply;
}

struct Atoms {
  xcb_atom_t netClientList = XCB_NONE;
  xcb_atom_t netClientListStacking = XCB_NONE;
  xcb_atom_t netWmName = XCB_NONE;
  xcb_atom_t netWmState = XCB_NONE;
  xcb_atom_t netWmStateAbove = XCB_NONE;
  xcb_atom_t netRestackWindow = XCB_NONE;
  xcb_atom_t netMoveresizeWindow = XCB_NONE;
  xcb_atom_t netSupportingWmCheck = XCB_NONE;
  xcb_atom_t wmState = XCB_NONE;
  xcb_atom_t wmTransientFor = XCB_NONE;
};

class Connection {
 public:
  // The process's connection, or nullptr when no display can be reached.
  static Connection* Get();

  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  xcb_connection_t* xcb() const { return c_; }
  const xcb_screen_t& screen() const { return *screen_; }
  xcb_window_t root() const { return screen_->root; }
  const xcb_visualtype_t* rootVisual() const { return visual_; }
  const Atoms& atoms() const;
  // Sends the atoms' requests now, so that their answers travel with the
  // next round trip; atoms() then takes them without waiting. A screen
  // capture never needs them.
  void PrefetchAtoms() const;
  bool hasRandr() const {
    CollectRandrVersion();
    return randr_;
  }
  // RandR 1.5: monitors, one of them marked primary.
  bool hasRandrMonitors() const {
    CollectRandrVersion();
    return randrMonitors_;
  }
  // MIT-SHM that works with this server; switched off after the first failure
  // to attach (a remote display cannot see our segments).
  bool hasShm() const { return shm_; }
  void disableShm() { shm_ = shmFd_ = false; }
  // Segments may be memory files passed as descriptors (a local server).
  bool hasShmFd() const { return shmFd_; }
  void disableShmFd() { shmFd_ = false; }
  // Bits per pixel and scanline pad of the root depth's pixmap format.
  int bitsPerPixel() const { return bitsPerPixel_; }
  int scanlinePad() const { return scanlinePad_; }

  // True when the request went through; any X error is swallowed.
  bool Check(xcb_void_cookie_t cookie) const;
  // A window manager that advertises itself as EWMH says to.
  bool WindowManagerRunning() const;
  // Whether the root window can be read. A rootless X server (Xwayland on a
  // Wayland desktop) refuses a plain GetImage of its root with BadMatch and
  // answers a shared-memory one with zeros; there only single windows can
  // be read. Asked at connection, answered on first need.
  bool rootReadable() const;

 private:
  explicit Connection(xcb_connection_t* c, int screenNumber);
  void ProbeExtensions();
  // The RandR version is asked for at connection and its answer taken on
  // first need, so that it travels with the first requests that use it.
  void CollectRandrVersion() const;

  xcb_connection_t* c_;
  const xcb_screen_t* screen_ = nullptr;
  const xcb_visualtype_t* visual_ = nullptr;
  mutable Atoms atoms_;  // asked for on first need, taken on first use
  mutable std::vector<xcb_intern_atom_cookie_t> atomsAsked_;
  mutable bool atomsTaken_ = false;
  mutable std::optional<xcb_randr_query_version_cookie_t> randrVersion_;
  mutable std::optional<xcb_get_image_cookie_t> rootProbe_;
  mutable bool rootReadable_ = true;
  mutable bool randr_ = false;
  mutable bool randrMonitors_ = false;
  bool shm_ = false;
  bool shmFd_ = false;
  int bitsPerPixel_ = 32;
  int scanlinePad_ = 32;
};

// Interns every name in one round trip; XCB_ATOM_NONE where the server
// gave no answer. Asking and taking apart lets the round trip travel with
// other requests.
std::vector<xcb_intern_atom_cookie_t> AskAtoms(xcb_connection_t* c, const std::vector<std::string>& names);
std::vector<xcb_atom_t> TakeAtoms(xcb_connection_t* c, const std::vector<xcb_intern_atom_cookie_t>& cookies);
std::vector<xcb_atom_t> InternAtoms(xcb_connection_t* c, const std::vector<std::string>& names);

// A property's 32-bit items (windows, atoms, cardinals) when it has the
// given type; empty for no reply or another type.
std::vector<std::uint32_t> Values32(const xcb_get_property_reply_t* r, xcb_atom_t type);
// Reads a property as 32-bit items (windows, atoms, cardinals); empty when
// the window or the property is missing.
std::vector<std::uint32_t> GetProperty32(const Connection& c, xcb_window_t w, xcb_atom_t property,
                                         xcb_atom_t type);

}  // namespace runtime::x11
