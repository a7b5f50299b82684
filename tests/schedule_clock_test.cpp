// The clock's separator (schedule/clock.cpp): which sign of the locale's time format the clock
// puts between hours, minutes and seconds. The separator is what a user types into the box for
// the schedule to match, so a wrong one makes the typed time never match; the real locales' own
// formats are the Qt clock test's fi_FI row.
#include <gtest/gtest.h>

#include <ostream>

#include "schedule/clock.h"
#include "tests/named_rows.h"

namespace {

using named_rows::PrintTo;

struct TimeFormat {
  const char* name;
  const char* format;     // the locale's time format (t_fmt)
  const char* ampm = "";  // its 12-hour format (t_fmt_ampm), which "%r" stands for
  const char* separator;
};

// The one sign after the hour is the separator: punctuation or a symbol, one character.
const TimeFormat kSeparators[] = {
    {.name = "TheTwelveHourFormatsForR", .format = "%r", .ampm = "%I.%M.%S %p", .separator = "."},
    {.name = "TheFirstSignAfterTheHour", .format = "%l.%M:%S %P", .separator = "."},
    {.name = "AfterAFlaggedHour", .format = "%-H'%M", .separator = "'"},
    {.name = "AFullWidthColon", .format = "%H\uff1a%M", .separator = "\uff1a"},
    {.name = "AfterTheOModifier", .format = "%OH\u00b7%OM", .separator = "\u00b7"},
};

// Anything else after the hour, or no hour at all, leaves ":".
const TimeFormat kColons[] = {
    {.name = "NothingBetween", .format = "%H%M%S", .separator = ":"},
    {.name = "ASpace", .format = "%H %M", .separator = ":"},
    {.name = "ALetter", .format = "%Hh%M", .separator = ":"},
    {.name = "AHanCharacter", .format = "%H\u6642%M", .separator = ":"},  // 時, a word
    {.name = "ADigit", .format = "%H1%M", .separator = ":"},
    {.name = "AControl", .format = "%H\t%M", .separator = ":"},
    {.name = "ABrokenCharacter", .format = "%H\xe6%M", .separator = ":"},
    {.name = "AnOverlongColon", .format = "%H\xc0\xba%M", .separator = ":"},
    {.name = "AnEscapedPercentIsNoHour", .format = "%%H.%M", .separator = ":"},
    {.name = "APercentAtTheEnd", .format = "Hour %", .separator = ":"},
    {.name = "RWithoutATwelveHourFormat", .format = "%r", .separator = ":"},
};

class ClockSeparator : public ::testing::TestWithParam<TimeFormat> {};

TEST_P(ClockSeparator, IsTheOneSignAfterTheHourElseAColon) {
  const TimeFormat& f = GetParam();
  EXPECT_EQ(schedule::SeparatorFromTimeFormat(f.format, f.ampm), f.separator);
}

INSTANTIATE_TEST_SUITE_P(Signs, ClockSeparator, ::testing::ValuesIn(kSeparators),
                         named_rows::ByName());
INSTANTIATE_TEST_SUITE_P(Colons, ClockSeparator, ::testing::ValuesIn(kColons),
                         named_rows::ByName());

}  // namespace
