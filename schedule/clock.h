// The clock text and the schedule's comparison. No window code: the main
// window's timers call these.
#pragma once

#include <string>
#include <string_view>

namespace schedule {

// The clock text: "hh:mm:ss" on the 24-hour clock, two digits each, with
// `separator` in place of ":".
std::string FormatClockText(int hour, int minute, int second, std::string_view separator);

// `candidate` when it is one character (one UTF-8 code point) of punctuation
// or a symbol, that is neither a letter, a digit, a space nor a control;
// else ":". Beyond ASCII only well-known punctuation counts, such as the
// full-width colon or the middle dot.
std::string SeparatorOrColon(std::string_view candidate);

// The separator a C library time format such as "%H:%M:%S" puts between hours
// and minutes, by the rule of SeparatorOrColon: "." for "%H.%M.%S", ":" for
// "%H時%M分%S秒", whose words are no separator. A format of "%r" takes it from
// `ampmFormat`, the locale's 12-hour format.
std::string SeparatorFromTimeFormat(std::string_view format, std::string_view ampmFormat = {});

// True when the typed target text is exactly the clock text: same length,
// same characters, same case. No trimming, no conversion.
inline bool IsDisconnectTime(std::string_view target, std::string_view clockText) {
  return target == clockText;
}

}  // namespace schedule
