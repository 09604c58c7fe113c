#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "runtime/platform.h"

namespace runtime::platform {
namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr int kPopulateWrite = 23;  // MADV_POPULATE_WRITE (Linux 5.14); refused harmlessly before
}  // namespace

std::shared_ptr<void> AllocatePixels(std::size_t size) {
  if (size < kHugePage) {
    void* p = std::calloc(size ? size : 1, 1);
    if (!p) return nullptr;
    return std::shared_ptr<void>(p, std::free);
  }
  // A screen-sized buffer taken as huge pages, mapped in one call: first
  // touches of fresh memory page by page cost more than the pixel work,
  // above all under a hypervisor.
  const std::size_t length = (size + kHugePage - 1) / kHugePage * kHugePage + kHugePage;
  void* raw = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  auto* aligned = reinterpret_cast<void*>((reinterpret_cast<std::uintptr_t>(raw) + kHugePage - 1) & ~(kHugePage - 1));
  madvise(aligned, size, MADV_HUGEPAGE);
  madvise(aligned, size, kPopulateWrite);
  return std::shared_ptr<void>(aligned, [raw, length](void*) { munmap(raw, length); });
}

}  // namespace runtime::platform
