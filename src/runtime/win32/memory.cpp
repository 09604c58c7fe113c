// Pixel memory on Windows. A pixel file is a section backed by the paging
// file: its handle is kept in the descriptor's place (kernel handles have
// 32 significant bits, so that 32-bit processes can share them).
#include "runtime/fileio.h"
#include "runtime/platform.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace runtime::platform {
namespace {

// What WriteTo hands on at a time: large enough for few calls, small
// enough to stay in the cache on its way to the sink.
constexpr std::size_t kChunk = std::size_t{256} << 10;

::HANDLE Section(int fd) { return reinterpret_cast<::HANDLE>(static_cast<INT_PTR>(fd)); }

std::size_t Granularity() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}

// A view of [offset, offset + size) of a section; views start on the
// allocation granularity, so the range's start is found inside it.
class RangeView {
 public:
  RangeView(int fd, std::size_t offset, std::size_t size, DWORD access) {
    const std::size_t start = offset / Granularity() * Granularity();
    const std::uint64_t at = start;
    base_ = MapViewOfFile(Section(fd), access, static_cast<DWORD>(at >> 32), static_cast<DWORD>(at),
                          size + (offset - start));
    if (base_) data_ = static_cast<std::uint8_t*>(base_) + (offset - start);
  }
  ~RangeView() {
    if (base_) UnmapViewOfFile(base_);
  }
  RangeView(const RangeView&) = delete;
  RangeView& operator=(const RangeView&) = delete;
  std::uint8_t* data() const { return data_; }

 private:
  void* base_ = nullptr;
  std::uint8_t* data_ = nullptr;
};

}  // namespace

std::shared_ptr<void> AllocatePixels(std::size_t size) {
  // calloc of a screen-sized block gets fresh zeroed pages from the system.
  void* p = std::calloc(size ? size : 1, 1);
  if (!p) return nullptr;
  return std::shared_ptr<void>(p, std::free);
}

std::shared_ptr<PixelFile> PixelFile::Create(std::size_t size) {
  if (size == 0) return nullptr;
  const std::uint64_t bytes = size;
  const ::HANDLE section = CreateFileMappingW(Section(-1),  // the paging file
                                              nullptr, PAGE_READWRITE,
                                              static_cast<DWORD>(bytes >> 32), static_cast<DWORD>(bytes), nullptr);
  if (!section) return nullptr;
  std::shared_ptr<PixelFile> file(new PixelFile);
  file->fd_ = static_cast<int>(reinterpret_cast<INT_PTR>(section));
  file->size_ = size;
  return file;
}

PixelFile::~PixelFile() {
  if (fd_ != -1) CloseHandle(Section(fd_));
}

bool PixelFile::Write(const void* data, std::size_t size, std::size_t offset) {
  if (offset > size_ || size > size_ - offset) return false;
  if (size == 0) return true;
  RangeView view(fd_, offset, size, FILE_MAP_WRITE);
  if (!view.data()) return false;
  std::memcpy(view.data(), data, size);
  return true;
}

bool PixelFile::Read(void* data, std::size_t size, std::size_t offset) const {
  if (offset > size_ || size > size_ - offset) return false;
  if (size == 0) return true;
  RangeView view(fd_, offset, size, FILE_MAP_READ);
  if (!view.data()) return false;
  std::memcpy(data, view.data(), size);
  return true;
}

std::shared_ptr<void> PixelFile::View() const {
  void* view = MapViewOfFile(Section(fd_), FILE_MAP_WRITE, 0, 0, size_);
  if (!view) return nullptr;
  return std::shared_ptr<void>(view, [](void* p) { UnmapViewOfFile(p); });
}

bool PixelFile::CopyInto(Bitmap& dst) const {
  return dst.Allocate() && static_cast<std::size_t>(dst.stride) * static_cast<std::size_t>(dst.height) == size_ &&
         Read(dst.bits, size_, 0);
}

std::size_t PixelFile::WriteTo(FileSink& out) const {
  RangeView view(fd_, 0, size_, FILE_MAP_READ);
  if (!view.data()) return 0;
  for (std::size_t at = 0; at < size_; at += kChunk) out.Write(view.data() + at, std::min(kChunk, size_ - at));
  return size_;
}

}  // namespace runtime::platform
