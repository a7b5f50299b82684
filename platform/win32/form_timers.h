// The timers of one loaded form, kept as due times on a monotonic clock.
// The message loop waits until the earliest one is due, runs it, and
// re-arms the form's timers by the shared rule.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/win32/monotonic_clock.h"

namespace win32 {

class FormTimers {
 public:
  void Add(int id) { slots_.push_back({id, false, {}}); }
  std::vector<int> Ids() const;

  bool Active(int id) const;
  // Whole milliseconds until `id` is due, rounded up; 0 when due or stopped.
  int RemainingMs(int id, Clock::time_point now) const;
  void Start(int id, int delayMs, Clock::time_point now);
  void Stop(int id);
  void StopAll();

  // The timer that has been due longest at `now` (the first in design order
  // among equals), taken off the clock: it stays stopped unless re-armed.
  // -1 when none is due.
  int TakeDue(Clock::time_point now);
  // The earliest due time of the active timers; false when none is active.
  bool NextDue(Clock::time_point& due) const;

 private:
  struct Slot {
    int id;
    bool active;
    Clock::time_point due;
  };
  Slot* Find(int id);
  const Slot* Find(int id) const;

  std::vector<Slot> slots_;
};

// Milliseconds to wait for `due` from `now`, rounded up so that the wait
// never ends before it; 0 when it is due already, `cap` at most.
std::uint32_t WaitMilliseconds(Clock::time_point due, Clock::time_point now, std::uint32_t cap);

}  // namespace win32
