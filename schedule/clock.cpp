#include "schedule/clock.h"

#include <cctype>

namespace schedule {

namespace {

void AppendTwoDigits(std::string& out, int value) {
  out += static_cast<char>('0' + value / 10 % 10);
  out += static_cast<char>('0' + value % 10);
}

}  // namespace

std::string FormatClockText(int hour, int minute, int second, std::string_view separator) {
  std::string text;
  text.reserve(6 + 2 * separator.size());
  AppendTwoDigits(text, hour);
  text += separator;
  AppendTwoDigits(text, minute);
  text += separator;
  AppendTwoDigits(text, second);
  return text;
}

std::string SeparatorFromTimeFormat(std::string_view format) {
  // Skip to the hour's conversion, then take what stands before the next one.
  std::size_t hour = format.find_first_of("HIkl");
  while (hour != std::string_view::npos && (hour == 0 || format[hour - 1] != '%'))
    hour = format.find_first_of("HIkl", hour + 1);
  if (hour == std::string_view::npos) return ":";
  const std::size_t start = hour + 1;
  const std::size_t next = format.find('%', start);
  std::string_view between =
      format.substr(start, next == std::string_view::npos ? 0 : next - start);
  if (between.empty()) return ":";
  return std::string(between);
}

}  // namespace schedule
