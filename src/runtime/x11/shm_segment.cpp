#include "runtime/x11/shm_segment.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "runtime/platform.h"

namespace runtime::x11 {
namespace {

std::size_t PageSize() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

}  // namespace

std::shared_ptr<ShmSegment> ShmSegment::Create(Connection& c, std::size_t size) {
  if (!c.hasShm() || size == 0) return nullptr;
  std::shared_ptr<ShmSegment> segment(new ShmSegment);
  segment->size_ = size;
  segment->c_ = c.xcb();
  if (c.hasShmFd()) {
    const int fd = memfd_create("glimmet-shm", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    segment->fd_ = fd;
    const int passed = fcntl(fd, F_DUPFD_CLOEXEC, 0);  // the connection closes what it sends
    if (ftruncate(fd, static_cast<off_t>(size)) != 0 || passed < 0) {
      if (passed >= 0) close(passed);
      return nullptr;
    }
    segment->seg_ = xcb_generate_id(c.xcb());
    segment->attach_ = xcb_shm_attach_fd_checked(c.xcb(), segment->seg_, passed, 0);
    return segment;
  }
  const int shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
  if (shmid < 0) return nullptr;
  void* address = shmat(shmid, nullptr, 0);
  if (address != reinterpret_cast<void*>(-1)) {
    segment->data_ = static_cast<std::uint8_t*>(address);
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
  if (fd_ >= 0) {
    c.disableShmFd();
  } else {
    c.disableShm();
  }
  return false;
}

void ShmSegment::DetachServer() {
  if (!seg_) return;
  // Nothing to wait for: the server lets go in its own time, while this
  // process converts the rows. (Left for the next request instead, the
  // server's unmapping lands on a later wait or on the next run: measured
  // slower.)
  xcb_shm_detach(c_, seg_);
  xcb_flush(c_);
  seg_ = 0;
}

std::uint8_t* ShmSegment::data() {
  if (!data_ && fd_ >= 0) {
    void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (p != MAP_FAILED) data_ = static_cast<std::uint8_t*>(p);
  }
  return data_;
}

const std::uint8_t* ShmSegment::Rows(std::size_t from, std::size_t size, std::uint8_t* scratch) {
  if (data_) return data_ + from;
  return fd_ >= 0 && platform::ReadAt(fd_, scratch, size, from) ? scratch : nullptr;
}

std::size_t ShmSegment::Release(std::size_t from, std::size_t to) {
  const std::size_t page = PageSize();
  const std::size_t begin = (from + page - 1) / page * page, end = to / page * page;
  if (end <= begin) return from;
  if (data_) {
    madvise(data_ + begin, end - begin, MADV_REMOVE);
  } else if (fd_ >= 0) {
    fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(begin),
              static_cast<off_t>(end - begin));
  }
  return end;
}

void ShmSegment::AllocateUntilReadable(int socket) {
  constexpr std::size_t kChunk = std::size_t{256} << 10;
  if (fd_ < 0) return;
  for (std::size_t end = size_; end > 0;) {
    pollfd reply{socket, POLLIN, 0};
    if (poll(&reply, 1, 0) != 0) return;
    const std::size_t begin = end > kChunk ? end - kChunk : 0;
    if (fallocate(fd_, 0, static_cast<off_t>(begin), static_cast<off_t>(end - begin)) != 0) return;
    end = begin;
  }
}

ShmSegment::~ShmSegment() {
  DetachServer();
  if (fd_ >= 0) {
    if (data_) munmap(data_, size_);
    close(fd_);
  } else if (data_) {
    shmdt(data_);
  }
}

}  // namespace runtime::x11
