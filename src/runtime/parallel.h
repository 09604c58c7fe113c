// Work spread over every core: the batch capture's pixel passes are short,
// so a fixed pool would cost more to keep than threads started per pass.
#pragma once
#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <system_error>
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
// mostly on one core. The thread is created on the process's other CPUs and
// lets itself free as soon as it runs; its creator frees it instead when it
// is about to wait for a thread that has not started (those CPUs may be
// busy elsewhere). Throws std::system_error when no thread can be made.
class Worker {
 public:
  template <typename Job>
  explicit Worker(Job job) {
#if defined(__linux__)
    auto launch = std::make_unique<Launch<Job>>(std::move(job));
    started_ = launch->started;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    cpu_set_t others;
    const int here = sched_getcpu();
    if (here >= 0 && here < CPU_SETSIZE && sched_getaffinity(0, sizeof all_, &all_) == 0) {
      others = all_;
      CPU_CLR(here, &others);
      launch->all = all_;
      launch->placed = CPU_COUNT(&others) > 0 && pthread_attr_setaffinity_np(&attr, sizeof others, &others) == 0;
    }
    placed_ = launch->placed;
    const int error = pthread_create(&thread_, &attr, &Launch<Job>::Run, launch.get());
    pthread_attr_destroy(&attr);
    if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_create");
    launch.release();  // the thread owns it now
    joinable_ = true;
#else
    thread_ = std::thread(std::move(job));
#endif
  }
  Worker(Worker&& other) noexcept { *this = std::move(other); }
  Worker& operator=(Worker&& other) noexcept {
    if (this != &other) {
      Join();
#if defined(__linux__)
      thread_ = other.thread_;
      started_ = std::move(other.started_);
      all_ = other.all_;
      placed_ = other.placed_;
      joinable_ = std::exchange(other.joinable_, false);
#else
      thread_ = std::move(other.thread_);
#endif
    }
    return *this;
  }
  ~Worker() { Join(); }

  // Called before waiting for the worker: one that has not started yet may
  // then run on any CPU, this one included.
  void Release() {
#if defined(__linux__)
    if (joinable_ && placed_ && !started_->exchange(true)) pthread_setaffinity_np(thread_, sizeof all_, &all_);
#endif
  }
  void Join() {
#if defined(__linux__)
    if (!joinable_) return;
    Release();
    pthread_join(thread_, nullptr);
    joinable_ = false;
#else
    if (thread_.joinable()) thread_.join();
#endif
  }

 private:
#if defined(__linux__)
  template <typename Job>
  struct Launch {
    explicit Launch(Job j) : job(std::move(j)) {}
    Job job;
    std::shared_ptr<std::atomic<bool>> started = std::make_shared<std::atomic<bool>>(false);
    cpu_set_t all{};
    bool placed = false;

    static void* Run(void* p) {
      std::unique_ptr<Launch> self(static_cast<Launch*>(p));
      if (self->placed && !self->started->exchange(true)) sched_setaffinity(0, sizeof self->all, &self->all);
      try {
        self->job();
      } catch (...) {
        std::terminate();  // as std::thread does
      }
      return nullptr;
    }
  };

  pthread_t thread_{};
  std::shared_ptr<std::atomic<bool>> started_;
  cpu_set_t all_{};
  bool placed_ = false;
  bool joinable_ = false;
#else
  std::thread thread_;
#endif
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
  // Out of threads or of memory: the threads already started, and this one,
  // share the work.
  try {
    threads.reserve(extra);
    for (unsigned t = 0; t < extra; ++t) threads.emplace_back(worker);
  } catch (const std::exception&) {
  }
  worker();
  for (auto& t : threads) t.Join();
}

}  // namespace runtime
