// Shared memory that the X server can write images into: a memory file
// passed to the server where the connection can carry descriptors (which a
// picture can then own), else a System V segment.
#pragma once
#include <xcb/shm.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "runtime/x11/connection.h"

namespace runtime::x11 {

class ShmSegment {
 public:
  // A segment of size bytes, asked to be attached by the server without
  // waiting for the answer; nullptr when there is no shared memory here.
  static std::shared_ptr<ShmSegment> Create(Connection& c, std::size_t size);

  ShmSegment(const ShmSegment&) = delete;
  ShmSegment& operator=(const ShmSegment&) = delete;
  ~ShmSegment();

  xcb_shm_seg_t id() const { return seg_; }
  // Whether the server did attach; asked after a reply to a later request,
  // it costs no round trip. A failure switches the kind of segment off for
  // the connection: descriptors first, then MIT-SHM as a whole.
  bool ConfirmAttach(Connection& c);
  // Lets go of the server's side; the memory stays ours until destruction.
  void DetachServer();

  // The whole segment mapped here (mapped on first use); nullptr when it
  // cannot be.
  std::uint8_t* data();
  // Whether the segment is a memory file (else System V).
  bool InFile() const { return fd_ >= 0; }
  // The bytes [from, from + size): in place where the segment is mapped,
  // else read through the memory file into scratch (size bytes), which
  // brings no page into this process. nullptr when they cannot be read.
  const std::uint8_t* Rows(std::size_t from, std::size_t size, std::uint8_t* scratch);
  // Gives the whole pages inside [from, to) back to the system and returns
  // where the next call may start. Their contents are gone.
  std::size_t Release(std::size_t from, std::size_t to);
  // Gives a memory-file segment its pages from the end towards the start,
  // a quarter of a megabyte at a time, until the socket has something to
  // read (the server's reply). Pages already there (written by the server)
  // are left as they are.
  void AllocateUntilReadable(int socket);

 private:
  ShmSegment() = default;

  std::size_t size_ = 0;
  int fd_ = -1;                   // a memory file, or -1 for System V
  std::uint8_t* data_ = nullptr;  // the mapping here, if any
  xcb_connection_t* c_ = nullptr;
  xcb_shm_seg_t seg_ = 0;  // nonzero while the server is (asked to be) attached
  xcb_void_cookie_t attach_{};
};

}  // namespace runtime::x11
