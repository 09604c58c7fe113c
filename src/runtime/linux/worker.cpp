// The parallel passes' threads on Linux: created on the process's other
// CPUs, free to run anywhere once they start (see runtime/parallel.h).
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <exception>
#include <memory>
#include <system_error>
#include <utility>

#include "runtime/parallel.h"

namespace runtime {
namespace {

struct Launch {
  std::unique_ptr<Worker::Task> task;
  std::shared_ptr<std::atomic<bool>> started = std::make_shared<std::atomic<bool>>(false);
  cpu_set_t all{};
  bool placed = false;

  static void* Run(void* p) {
    std::unique_ptr<Launch> self(static_cast<Launch*>(p));
    if (self->placed && !self->started->exchange(true)) sched_setaffinity(0, sizeof self->all, &self->all);
    try {
      self->task->Run();
    } catch (...) {
      std::terminate();  // as std::thread does
    }
    return nullptr;
  }
};

}  // namespace

struct Worker::Thread {
  pthread_t thread{};
  std::shared_ptr<std::atomic<bool>> started;
  cpu_set_t all{};
  bool placed = false;
  bool joinable = false;
};

Worker::Worker(std::unique_ptr<Task> task) : thread_(std::make_unique<Thread>()) {
  auto launch = std::make_unique<Launch>();
  launch->task = std::move(task);
  Thread& t = *thread_;
  t.started = launch->started;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  cpu_set_t others;
  const int here = sched_getcpu();
  if (here >= 0 && here < CPU_SETSIZE && sched_getaffinity(0, sizeof t.all, &t.all) == 0) {
    others = t.all;
    CPU_CLR(here, &others);
    launch->all = t.all;
    launch->placed = CPU_COUNT(&others) > 0 && pthread_attr_setaffinity_np(&attr, sizeof others, &others) == 0;
  }
  t.placed = launch->placed;
  const int error = pthread_create(&t.thread, &attr, &Launch::Run, launch.get());
  pthread_attr_destroy(&attr);
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_create");
  launch.release();  // the thread owns it now
  t.joinable = true;
}

Worker::Worker(Worker&& other) noexcept = default;

Worker& Worker::operator=(Worker&& other) noexcept {
  if (this != &other) {
    Join();
    thread_ = std::move(other.thread_);
  }
  return *this;
}

Worker::~Worker() { Join(); }

void Worker::Release() {
  if (thread_ && thread_->joinable && thread_->placed && !thread_->started->exchange(true))
    pthread_setaffinity_np(thread_->thread, sizeof thread_->all, &thread_->all);
}

void Worker::Join() {
  if (!thread_ || !thread_->joinable) return;
  Release();
  pthread_join(thread_->thread, nullptr);
  thread_->joinable = false;
}

}  // namespace runtime
