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

// A thread for a short pass of parallel work that begins on another CPU
// than its creator. Some schedulers, those of small virtual machines above
// all, queue a new thread behind its busy creator for a millisecond or more
// before an idle CPU takes it, and a pass of a few milliseconds then runs
// mostly on one core. The thread is placed on the process's other CPUs and
// is let free as soon as it runs, or when its creator is about to wait for
// it (should those CPUs be busy elsewhere). Throws as std::thread does.
class Worker {
 public:
  template <typename Job>
  explicit Worker(Job job) {
#if defined(__linux__)
    cpu_set_t others;
    const int here = sched_getcpu();
    if (here >= 0 && here < CPU_SETSIZE && sched_getaffinity(0, sizeof all_, &all_) == 0) {
      others = all_;
      CPU_CLR(here, &others);
      if (CPU_COUNT(&others) > 0) {
        // 1: placed by the creator; 2: running or let free.
        state_ = std::make_shared<std::atomic<int>>(0);
        thread_ = std::thread([state = state_, all = all_, job = std::move(job)]() mutable {
          if (state->exchange(2) == 1) sched_setaffinity(0, sizeof all, &all);
          job();
        });
        pthread_setaffinity_np(thread_.native_handle(), sizeof others, &others);
        if (state_->exchange(1) == 2) LetFree();
        return;
      }
    }
#endif
    thread_ = std::thread(std::move(job));
  }
  Worker(Worker&&) = default;
  Worker& operator=(Worker&&) = delete;
  ~Worker() { Join(); }

  // Called before waiting for the worker: one that has not started yet may
  // then run on any CPU, this one included.
  void Release() {
#if defined(__linux__)
    if (state_ && state_->exchange(2) == 1) LetFree();
#endif
  }
  void Join() {
    if (!thread_.joinable()) return;
    Release();
    thread_.join();
  }

 private:
#if defined(__linux__)
  void LetFree() { pthread_setaffinity_np(thread_.native_handle(), sizeof all_, &all_); }
  cpu_set_t all_{};
#endif
  std::shared_ptr<std::atomic<int>> state_;
  std::thread thread_;
};

// Runs job(0..count-1) on up to Cores() threads, this one included. When a
// thread cannot be started the others, or this one alone, do the work.
template <typename Job>
void RunAll(int count, Job job) {
  std::atomic<int> next{0};
  auto worker = [&] {
    for (int i = next++; i < count; i = next++) job(i);
  };
  std::vector<Worker> threads;
  const unsigned extra = count > 0 ? std::min<unsigned>(Cores(), static_cast<unsigned>(count)) - 1 : 0;
  for (unsigned t = 0; t < extra; ++t) {
    // Out of threads or of memory: the threads already started, and this
    // one, share the work.
    try {
      threads.reserve(extra);
      threads.emplace_back(worker);
    } catch (const std::exception&) {
      break;
    }
  }
  worker();
  for (auto& t : threads) t.Join();
}

}  // namespace runtime
