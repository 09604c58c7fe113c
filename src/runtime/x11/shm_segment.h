// A System V shared-memory segment that the X server can write images into.
#pragma once
#include <xcb/shm.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "runtime/x11/connection.h"

namespace runtime::x11 {

class ShmSegment {
 public:
  // A segment of size bytes, attached here and asked to be attached by the
  // server without waiting for the answer; nullptr when there is no shared
  // memory here.
  static std::shared_ptr<ShmSegment> Create(Connection& c, std::size_t size);

  ShmSegment(const ShmSegment&) = delete;
  ShmSegment& operator=(const ShmSegment&) = delete;
  ~ShmSegment();

  std::uint8_t* data() const { return data_; }
  xcb_shm_seg_t id() const { return seg_; }
  // Whether the server did attach; asked after a reply to a later request,
  // it costs no round trip. Failing switches MIT-SHM off for the connection.
  bool ConfirmAttach(Connection& c);
  // Lets go of the server's side; the memory stays ours until destruction.
  void DetachServer();

 private:
  ShmSegment() = default;

  std::uint8_t* data_ = nullptr;
  xcb_connection_t* c_ = nullptr;
  xcb_shm_seg_t seg_ = 0;  // nonzero while the server is (asked to be) attached
  xcb_void_cookie_t attach_{};
};

}  // namespace runtime::x11
