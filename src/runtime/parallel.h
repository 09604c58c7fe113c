// Work spread over every core: the batch capture's pixel passes are short,
// so a fixed pool would cost more to keep than threads started per pass.
#pragma once
#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace runtime {

// Asked once: the C library reads a file under /sys for it every time.
inline unsigned Cores() {
  static const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
  return cores;
}

// Runs job(0..count-1) on up to Cores() threads, this one included. When a
// thread cannot be started the others, or this one alone, do the work.
template <typename Job>
void RunAll(int count, Job job) {
  std::atomic<int> next{0};
  auto worker = [&] {
    for (int i = next++; i < count; i = next++) job(i);
  };
  std::vector<std::thread> threads;
  const unsigned extra = count > 0 ? std::min<unsigned>(Cores(), static_cast<unsigned>(count)) - 1 : 0;
  for (unsigned t = 0; t < extra; ++t) {
    try {
      threads.emplace_back(worker);
    } catch (const std::system_error&) {
      break;
    }
  }
  worker();
  for (auto& t : threads) t.join();
}

}  // namespace runtime
