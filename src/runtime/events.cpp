#include "runtime/events.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "runtime/forms.h"
#include "runtime/gui.h"

namespace runtime {
namespace {

using Clock = std::chrono::steady_clock;

struct TimerEntry {
  Timer* timer;
  Clock::time_point due;
};

// Never destroyed: static forms stop their timers during exit.
std::vector<TimerEntry>& Timers() {
  static auto* timers = new std::vector<TimerEntry>;
  return *timers;
}

// Runs each timer that is due once, in order of due time. A tick that
// yields may run other timers, never its own (a timer does not re-enter).
void RunDueTimers() {
  const Clock::time_point now = Clock::now();
  std::vector<Timer*> due;
  for (const TimerEntry& entry : Timers())
    if (entry.due <= now) due.push_back(entry.timer);
  for (Timer* timer : due) {
    auto& timers = Timers();
    auto it = std::find_if(timers.begin(), timers.end(), [&](const TimerEntry& e) { return e.timer == timer; });
    if (it == timers.end() || it->due > now) continue;  // stopped or already run meanwhile
    it->due = now + std::chrono::milliseconds(timer->Interval());
    if (timer->Tick) timer->Tick();
  }
}

// A timer may tick up to 5% of its interval late, as toolkits' coarse timers
// do, so that a slow timer ticks together with a fast one instead of waking
// the process on its own.
Clock::duration Slack(const Timer& timer) { return std::chrono::milliseconds(timer.Interval()) / 20; }

int MillisecondsToNextTimer() {
  const Clock::time_point now = Clock::now();
  int wait = 100;
  for (const TimerEntry& entry : Timers()) {
    // Rounded up: a wait rounded down wakes just before the tick is due and
    // then spins through zero-length waits until it is.
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(entry.due + Slack(*entry.timer) - now).count();
    wait = std::min<int>(wait, static_cast<int>(std::max<long long>(0, (us + 999) / 1000)));
  }
  return wait;
}

}  // namespace

namespace events {

void TimerChanged(Timer& timer) {
  auto& timers = Timers();
  auto it = std::find_if(timers.begin(), timers.end(), [&](const TimerEntry& e) { return e.timer == &timer; });
  if (!timer.Running()) {
    if (it != timers.end()) timers.erase(it);
    return;
  }
  // Starting or changing the interval restarts the count.
  const Clock::time_point due = Clock::now() + std::chrono::milliseconds(timer.Interval());
  if (it == timers.end())
    timers.push_back({&timer, due});
  else
    it->due = due;
}

void TimerDestroyed(Timer& timer) {
  auto& timers = Timers();
  timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const TimerEntry& e) { return e.timer == &timer; }),
               timers.end());
}

}  // namespace events

void DoEvents() {
  if (GuiBackend* gui = GuiIfStarted()) gui->Pump(0);
  RunDueTimers();
}

void Sleep(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void RunMessageLoop(const std::function<bool()>& done) {
  auto finished = [&] { return done ? done() : LoadedForms().empty(); };
  while (!finished()) {
    const int wait = MillisecondsToNextTimer();
    if (GuiBackend* gui = GuiIfStarted())
      gui->Pump(wait);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    RunDueTimers();
  }
}

}  // namespace runtime
