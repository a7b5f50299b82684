#include "schedule/clock.h"

namespace schedule {

namespace {

void AppendTwoDigits(std::string& out, int value) {
  out += static_cast<char>('0' + value / 10 % 10);
  out += static_cast<char>('0' + value % 10);
}

bool IsAsciiAlnum(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Code points beyond ASCII that are punctuation or symbols, never letters or
// digits: Latin-1's signs (less the ordinal letters and the small figures),
// general punctuation, the CJK punctuation and middle dots, and the
// full-width and small forms of the ASCII signs.
bool IsKnownPunctuation(char32_t c) {
  if (c >= 0xA1 && c <= 0xBF)
    return c != 0xAA && c != 0xBA && c != 0xB2 && c != 0xB3 && c != 0xB9 && c < 0xBC;
  return (c >= 0x2010 && c <= 0x2027) || (c >= 0x2030 && c <= 0x205E) ||
         (c >= 0x3001 && c <= 0x3003) || c == 0x30FB || (c >= 0xFE50 && c <= 0xFE6B) ||
         (c >= 0xFF01 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20) ||
         (c >= 0xFF3B && c <= 0xFF40) || (c >= 0xFF5B && c <= 0xFF65);
}

// The one code point `text` encodes in UTF-8; U+FFFF when it is not exactly
// one well-formed code point.
char32_t OnlyCodePoint(std::string_view text) {
  constexpr char32_t kNone = 0xFFFF;
  if (text.empty()) return kNone;
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead < 0x80                   ? 1
                             : lead >= 0xC2 && lead < 0xE0 ? 2
                             : lead >= 0xE0 && lead < 0xF0 ? 3
                             : lead >= 0xF0 && lead < 0xF5 ? 4
                                                           : 0;
  if (length == 0 || text.size() != length) return kNone;
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return kNone;
    c = c << 6 | (next & 0x3F);
  }
  constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kShortest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kNone;
  return c;
}

// The text after the first hour conversion (%H, %I, %k or %l, with any
// flags, width and E/O modifier) up to the next conversion; `found` tells
// whether the format has an hour conversion at all.
std::string_view AfterHour(std::string_view format, bool& found) {
  found = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    std::size_t j = i + 1;
    while (j < format.size() && std::string_view("_-0^#").find(format[j]) != std::string_view::npos)
      ++j;
    while (j < format.size() && format[j] >= '0' && format[j] <= '9') ++j;
    if (j < format.size() && (format[j] == 'E' || format[j] == 'O')) ++j;
    if (j >= format.size()) return {};
    const char conversion = format[j];
    if (conversion == 'H' || conversion == 'I' || conversion == 'k' || conversion == 'l') {
      found = true;
      const std::string_view rest = format.substr(j + 1);
      return rest.substr(0, rest.find('%'));
    }
    i = j;  // "%%" and every other conversion: go on after it
  }
  return {};
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

std::string SeparatorOrColon(std::string_view candidate) {
  const char32_t c = OnlyCodePoint(candidate);
  const bool sign = c < 0x80 ? c > 0x20 && c < 0x7F && !IsAsciiAlnum(c) : IsKnownPunctuation(c);
  return sign ? std::string(candidate) : ":";
}

std::string SeparatorFromTimeFormat(std::string_view format, std::string_view ampmFormat) {
  bool found = false;
  std::string_view between = AfterHour(format, found);
  if (!found && format.find("%r") != std::string_view::npos && !ampmFormat.empty())
    between = AfterHour(ampmFormat, found);
  // %T and %R are "%H:%M:%S" and "%H:%M"; a format naming no hour at all
  // leaves the usual ":".
  return found ? SeparatorOrColon(between) : ":";
}

}  // namespace schedule
