#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "runtime/platform.h"

namespace runtime::platform {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t PageSize() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

std::size_t RoundUp(std::size_t n, std::size_t unit) { return (n + unit - 1) / unit * unit; }

std::optional<bool> assumedDear;  // set by tests

// Calls pread or pwrite until all size bytes have gone; false on an error
// or at the end of the file.
template <class Byte, class Call>
bool Whole(Call call, int fd, Byte* p, std::size_t size, std::size_t offset) {
  while (size > 0) {
    const ssize_t n = call(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool FaultsAreDear() {
  if (assumedDear) return *assumedDear;
  static const bool dear = [] {
    constexpr int kPages = 4;
    // Between the two kinds of machine by a wide margin, so that a probe
    // slowed by an interrupt still says cheap where faults are cheap.
    constexpr auto kDear = std::chrono::microseconds(4);  // a page
    const std::size_t length = kPages * PageSize();
    void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return false;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPages; ++i) static_cast<volatile std::uint8_t*>(p)[i * PageSize()] = 1;
    const auto took = std::chrono::steady_clock::now() - start;
    munmap(p, length);
    return took > kDear * kPages;
  }();
  return dear;
}

void AssumeFaultsAreDear(std::optional<bool> dear) { assumedDear = dear; }

bool ReadAt(int fd, void* data, std::size_t size, std::size_t offset) {
  return Whole(pread, fd, static_cast<std::uint8_t*>(data), size, offset);
}

std::shared_ptr<void> AllocatePixels(std::size_t size, bool* remappable) {
  if (remappable) *remappable = false;
  if (size < kHugePage) {
    void* p = std::calloc(size ? size : 1, 1);
    if (!p) return nullptr;
    return std::shared_ptr<void>(p, std::free);
  }
  // A screen-sized buffer is its own mapping, aligned for huge pages: a
  // handful of faults fill it instead of one per 4 KiB. Its pages come on
  // first touch, so a buffer that is remapped before it is written (a copy
  // by view, PixelFile::ViewAt) never costs any.
  const std::size_t length = RoundUp(size, kHugePage) + kHugePage;
  void* raw = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  auto* aligned = reinterpret_cast<void*>((reinterpret_cast<std::uintptr_t>(raw) + kHugePage - 1) & ~(kHugePage - 1));
  madvise(aligned, RoundUp(size, kHugePage), MADV_HUGEPAGE);
  if (remappable) *remappable = true;
  return std::shared_ptr<void>(aligned, [raw, length](void*) { munmap(raw, length); });
}

std::shared_ptr<PixelFile> PixelFile::Create(std::size_t size) {
  if (size == 0) return nullptr;
  const int fd = memfd_create("glimmet-pixels", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  std::shared_ptr<PixelFile> file(new PixelFile);
  file->fd_ = fd;
  file->size_ = size;
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) return nullptr;
  return file;
}

std::shared_ptr<PixelFile> PixelFile::Adopt(int fd, std::size_t size) {
  if (fd < 0) return nullptr;
  std::shared_ptr<PixelFile> file(new PixelFile);
  file->fd_ = fd;
  file->size_ = size;
  // What lies past size goes back to the system now. Should the cut fail,
  // the file is only longer than its views.
  (void)ftruncate(fd, static_cast<off_t>(size));
  return file;
}

PixelFile::~PixelFile() {
  if (fd_ >= 0) close(fd_);
}

bool PixelFile::Write(const void* data, std::size_t size, std::size_t offset) {
  if (offset > size_ || size > size_ - offset) return false;
  return Whole(pwrite, fd_, static_cast<const std::uint8_t*>(data), size, offset);
}

bool PixelFile::Read(void* data, std::size_t size, std::size_t offset) const {
  return offset <= size_ && size <= size_ - offset && ReadAt(fd_, data, size, offset);
}

std::shared_ptr<void> PixelFile::View() const {
  void* view = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd_, 0);
  if (view == MAP_FAILED) return nullptr;
  const std::size_t size = size_;
  return std::shared_ptr<void>(view, [size](void* p) { munmap(p, size); });
}

bool PixelFile::ViewAt(void* at) const {
  if (reinterpret_cast<std::uintptr_t>(at) % PageSize() != 0) return false;
  if (mmap(at, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, fd_, 0) != MAP_FAILED) return true;
  // A failed fixed mapping may have taken the old pages away: put zeroed
  // ones back so the caller can still copy.
  mmap(at, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
  return false;
}

}  // namespace runtime::platform
