// Threads of the parallel passes: they start elsewhere, end up free to run
// anywhere, and never hang on a process held to one CPU.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <thread>
#include <vector>

#include "runtime/parallel.h"

namespace {

cpu_set_t Allowed() {
  cpu_set_t set;
  CPU_ZERO(&set);
  sched_getaffinity(0, sizeof set, &set);
  return set;
}

// Restores the calling thread's CPUs when the test ends.
struct AffinityGuard {
  cpu_set_t saved = Allowed();
  ~AffinityGuard() { sched_setaffinity(0, sizeof saved, &saved); }
};

TEST(Worker, RunsFreeOfItsPlacementAndOnAProcessHeldToOneCpu) {
  AffinityGuard guard;
  const cpu_set_t all = Allowed();
  {
    // However the start races with the placement, the job runs with every
    // CPU the process may use, before anyone waits for it.
    for (int round = 0; round < 50; ++round) {
      cpu_set_t seen;
      CPU_ZERO(&seen);
      std::atomic<bool> looked{false};
      runtime::Worker worker([&] {
        sched_getaffinity(0, sizeof seen, &seen);
        looked = true;
      });
      while (!looked) std::this_thread::yield();
      worker.Join();
      ASSERT_TRUE(CPU_EQUAL(&seen, &all)) << "round " << round;
    }
  }
  // Held to the CPU it runs on, a thread has nowhere else to place a worker.
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  std::atomic<int> ran{0};
  runtime::Worker worker([&] { ++ran; });
  worker.Join();
  EXPECT_EQ(ran, 1);
}

TEST(Worker, RunAllDoesEveryJobOnceWhateverTheCount) {
  for (const int count : {0, 1, 2, 3, 17}) {
    std::vector<std::atomic<int>> done(static_cast<std::size_t>(count));
    runtime::RunAll(count, [&](int k) { ++done[static_cast<std::size_t>(k)]; });
    for (int k = 0; k < count; ++k) EXPECT_EQ(done[static_cast<std::size_t>(k)], 1) << count << " jobs, job " << k;
  }
}

}  // namespace
