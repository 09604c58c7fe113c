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
// mostly on one core. Where the platform can place threads
// (runtime/linux/worker.cpp), the thread is created on the process's other
// CPUs and lets itself free as soon as it runs; its creator frees it
// instead when it is about to wait for a thread that has not started
// (those CPUs may be busy elsewhere). Elsewhere it is a plain thread
// (runtime/portable/worker.cpp). Throws std::system_error when no thread
// can be made.
class Worker {
 public:
  // The job, as the platform's thread runs it.
  struct Task {
    virtual ~Task() = default;
    virtual void Run() = 0;
  };

  template <typename Job>
  explicit Worker(Job job) : Worker(std::unique_ptr<Task>(new JobTask<Job>(std::move(job)))) {}
  explicit Worker(std::unique_ptr<Task> task);
  Worker(Worker&& other) noexcept;
  Worker& operator=(Worker&& other) noexcept;
  ~Worker();

  // Called before waiting for the worker: one that has not started yet may
  // then run on any CPU, this one included.
  void Release();
  void Join();

 private:
  template <typename Job>
  struct JobTask : Task {
    explicit JobTask(Job j) : job(std::move(j)) {}
    void Run() override { job(); }
    Job job;
  };
  struct Thread;  // the platform's
  std::unique_ptr<Thread> thread_;
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
