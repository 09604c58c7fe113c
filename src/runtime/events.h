// The one event loop: timers, the yield, the blocking sleep, modal loops and
// the end of the program when no form remains loaded.
#pragma once
#include <cstdint>
#include <functional>

namespace runtime {

class Timer;

// Yield: processes all pending window events and runs every timer tick that
// is due, then returns.
void DoEvents();
// Blocks the thread for ms milliseconds; no event or timer runs meanwhile.
void Sleep(std::uint32_t ms);
// Runs the message loop until done() is true (a modal show) or, with no
// predicate, until no form remains loaded.
void RunMessageLoop(const std::function<bool()>& done = {});

namespace events {
// Called by Timer when its Enabled or Interval changes.
void TimerChanged(Timer& timer);
void TimerDestroyed(Timer& timer);
}  // namespace events

}  // namespace runtime
