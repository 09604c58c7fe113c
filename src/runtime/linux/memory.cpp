#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/fileio.h"
#include "runtime/platform.h"

namespace runtime::platform {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// What WriteTo reads at a time: large enough for few calls, small enough
// to stay in the cache on its way to the sink.
constexpr std::size_t kChunk = std::size_t{256} << 10;

std::size_t RoundUp(std::size_t n, std::size_t unit) { return (n + unit - 1) / unit * unit; }

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

bool ReadAt(int fd, void* data, std::size_t size, std::size_t offset) {
  return Whole(pread, fd, static_cast<std::uint8_t*>(data), size, offset);
}

std::shared_ptr<void> AllocatePixels(std::size_t size) {
  if (size < kHugePage) {
    void* p = std::calloc(size ? size : 1, 1);
    if (!p) return nullptr;
    return std::shared_ptr<void>(p, std::free);
  }
  // A screen-sized buffer is its own mapping, aligned for huge pages: a
  // handful of faults fill it instead of one per 4 KiB.
  const std::size_t length = RoundUp(size, kHugePage) + kHugePage;
  void* raw = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  auto* aligned = reinterpret_cast<void*>((reinterpret_cast<std::uintptr_t>(raw) + kHugePage - 1) & ~(kHugePage - 1));
  madvise(aligned, RoundUp(size, kHugePage), MADV_HUGEPAGE);
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
  void* view = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (view == MAP_FAILED) return nullptr;
  const std::size_t size = size_;
  return std::shared_ptr<void>(view, [size](void* p) { munmap(p, size); });
}

bool PixelFile::CopyInto(Bitmap& dst) const {
  return dst.Allocate() && static_cast<std::size_t>(dst.stride) * static_cast<std::size_t>(dst.height) == size_ &&
         Read(dst.bits, size_, 0);
}

std::size_t PixelFile::WriteTo(FileSink& out) const {
  std::vector<std::uint8_t> chunk(std::min(size_, kChunk));
  std::size_t at = 0;
  for (; at < size_; at += chunk.size()) {
    const std::size_t n = std::min(chunk.size(), size_ - at);
    if (!Read(chunk.data(), n, at)) break;
    out.Write(chunk.data(), n);
  }
  return std::min(at, size_);
}

}  // namespace runtime::platform
