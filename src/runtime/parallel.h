// Work spread over every core: the batch capture's pixel passes are short,
// so a fixed pool would cost more to keep than threads started per pass.
#pragma once
#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace runtime {

// Asked once: the C library reads a file under /sys for it every time.
inline unsigned Cores() {
  static const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
  return cores;
}

// Starts job on a new thread that begins on another CPU than this one.
// Some schedulers, those of small virtual machines above all, queue a new
// thread behind its busy creator for a millisecond or more before an idle
// CPU takes it, and a pass of a few milliseconds then runs mostly on one
// core. The thread is placed on the other CPUs the process may use, and is
// let free again as soon as it runs. Throws std::system_error as
// std::thread does.
template <typename Job>
std::thread StartThread(Job job) {
#if defined(__linux__)
  cpu_set_t all, others;
  const int here = sched_getcpu();
  if (here >= 0 && here < CPU_SETSIZE && sched_getaffinity(0, sizeof all, &all) == 0) {
    others = all;
    CPU_CLR(here, &others);
    if (CPU_COUNT(&others) > 0) {
      // 1: placed by this thread; 2: running. Whichever comes second frees it.
      auto state = std::make_shared<std::atomic<int>>(0);
      std::thread t([state, all, job = std::move(job)]() mutable {
        if (state->exchange(2) == 1) sched_setaffinity(0, sizeof all, &all);
        job();
      });
      pthread_setaffinity_np(t.native_handle(), sizeof others, &others);
      if (state->exchange(1) == 2) pthread_setaffinity_np(t.native_handle(), sizeof all, &all);
      return t;
    }
  }
#endif
  return std::thread(std::move(job));
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
    // Out of threads or of memory: the threads already started, and this
    // one, share the work.
    try {
      threads.reserve(extra);
      threads.push_back(StartThread(worker));
    } catch (const std::exception&) {
      break;
    }
  }
  worker();
  for (auto& t : threads) t.join();
}

}  // namespace runtime
