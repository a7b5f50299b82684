// The benchmark's trace: builds with PREKIDNIK_TRACE_TICKS write one line
// "<CLOCK_REALTIME ns> <what> <words...>" on stderr for each clock text set
// and each Remote Access listing; other builds write nothing. Linux only:
// the Windows benchmark reads the screen instead.
#pragma once

#include <string_view>
#if defined(PREKIDNIK_TRACE_TICKS) && !defined(_WIN32)
#include <cstdio>
#include <ctime>
#endif

namespace forms {

template <typename... Words>
void Trace([[maybe_unused]] const char* what, [[maybe_unused]] Words... words) {
#if defined(PREKIDNIK_TRACE_TICKS) && !defined(_WIN32)
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  std::fprintf(stderr, "%lld%09ld %s", static_cast<long long>(now.tv_sec), now.tv_nsec, what);
  (std::fprintf(stderr, " %.*s", static_cast<int>(std::string_view(words).size()),
                std::string_view(words).data()),
   ...);
  std::fputc('\n', stderr);
#endif
}

}  // namespace forms
