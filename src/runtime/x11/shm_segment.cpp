#include "runtime/x11/shm_segment.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>

namespace runtime::x11 {

std::shared_ptr<ShmSegment> ShmSegment::Create(Connection& c, std::size_t size) {
  if (!c.hasShm() || size == 0) return nullptr;
  const int shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
  if (shmid < 0) return nullptr;
  void* address = shmat(shmid, nullptr, 0);
  std::shared_ptr<ShmSegment> segment(new ShmSegment);
  if (address != reinterpret_cast<void*>(-1)) {
    segment->data_ = static_cast<std::uint8_t*>(address);
    segment->c_ = c.xcb();
    segment->seg_ = xcb_generate_id(c.xcb());
    segment->attach_ = xcb_shm_attach_checked(c.xcb(), segment->seg_, static_cast<std::uint32_t>(shmid), 0);
  }
  // Marked for removal at once: the segment goes away with the last detach,
  // even if this process dies.
  shmctl(shmid, IPC_RMID, nullptr);
  return segment->seg_ ? segment : nullptr;
}

bool ShmSegment::ConfirmAttach(Connection& c) {
  if (!seg_ || c.Check(attach_)) return seg_ != 0;
  seg_ = 0;  // never attached: nothing to detach
  c.disableShm();
  return false;
}

void ShmSegment::DetachServer() {
  if (!seg_) return;
  // Nothing to wait for: the server lets go in its own time.
  xcb_shm_detach(c_, seg_);
  xcb_flush(c_);
  seg_ = 0;
}

ShmSegment::~ShmSegment() {
  DetachServer();
  if (data_) shmdt(data_);
}

}  // namespace runtime::x11
