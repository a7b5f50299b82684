// The monotonic clock that the Windows program's timers and waits count on:
// the performance counter, which setting the time of day does not move.
// (std::chrono::steady_clock of the win32 thread model's runtime, which the
// shipped program links, follows the time of day.)
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>

namespace win32 {

struct Clock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<Clock>;
  static constexpr bool is_steady = true;

  static time_point now() noexcept {
    static const std::int64_t frequency = [] {
      LARGE_INTEGER f;
      return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : 1000;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    // Whole seconds and the rest apart, so that the product cannot overflow.
    const std::int64_t seconds = counter.QuadPart / frequency;
    const std::int64_t rest = counter.QuadPart % frequency;
    return time_point(duration(seconds * 1'000'000'000 + rest * 1'000'000'000 / frequency));
  }
};

}  // namespace win32
