// The clock text and the schedule's comparison. No window code: the main
// window's timers call these.
#pragma once

#include <string>
#include <string_view>

namespace schedule {

// The clock text: "hh:mm:ss" on the 24-hour clock, two digits each, with
// `separator` in place of ":".
std::string FormatClockText(int hour, int minute, int second, std::string_view separator);

// The separator a C library time format such as "%H:%M:%S" puts between hours
// and minutes; ":" when the format names none.
std::string SeparatorFromTimeFormat(std::string_view format);

// True when the typed target text is exactly the clock text: same length,
// same characters, same case. No trimming, no conversion.
inline bool IsDisconnectTime(std::string_view target, std::string_view clockText) {
  return target == clockText;
}

// Milliseconds from `millisecond` (0-999, within the current second) to the
// start of the next second: 1 to 1000.
inline int MillisecondsToNextSecond(int millisecond) { return 1000 - millisecond % 1000; }

}  // namespace schedule
