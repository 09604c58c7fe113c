// The parallel passes' threads where the platform gives no placement of
// its own: a plain thread (see runtime/parallel.h).
#include <memory>
#include <thread>
#include <utility>

#include "runtime/parallel.h"

namespace runtime {

struct Worker::Thread {
  std::thread thread;
};

Worker::Worker(std::unique_ptr<Task> task)
    : thread_(std::make_unique<Thread>(Thread{std::thread([task = std::move(task)] { task->Run(); })})) {}

Worker::Worker(Worker&& other) noexcept = default;

Worker& Worker::operator=(Worker&& other) noexcept {
  if (this != &other) {
    Join();
    thread_ = std::move(other.thread_);
  }
  return *this;
}

Worker::~Worker() { Join(); }

void Worker::Release() {}

void Worker::Join() {
  if (thread_ && thread_->thread.joinable()) thread_->thread.join();
}

}  // namespace runtime
