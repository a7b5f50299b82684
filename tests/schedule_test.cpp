// Clock text, the locale's separator and the backend's timer rule.
#include <gtest/gtest.h>

#include "platform/timer_rule.h"
#include "schedule/clock.h"

namespace {

TEST(ClockText, TwoDigitsEachOnTheTwentyFourHourClock) {
  EXPECT_EQ(schedule::FormatClockText(0, 0, 0, ":"), "00:00:00");
  EXPECT_EQ(schedule::FormatClockText(7, 5, 9, ":"), "07:05:09");
  EXPECT_EQ(schedule::FormatClockText(13, 45, 30, ":"), "13:45:30");
  EXPECT_EQ(schedule::FormatClockText(23, 59, 59, "."), "23.59.59");
}

TEST(ClockText, SeparatorComesFromTheLocalesTimeFormat) {
  EXPECT_EQ(schedule::SeparatorFromTimeFormat("%H:%M:%S"), ":");
  EXPECT_EQ(schedule::SeparatorFromTimeFormat("%H.%M.%S"), ".");
  EXPECT_EQ(schedule::SeparatorFromTimeFormat("%I:%M:%S %p"), ":");
  EXPECT_EQ(schedule::SeparatorFromTimeFormat("%k h %M"), " h ");
  // Formats that name no separator of their own.
  EXPECT_EQ(schedule::SeparatorFromTimeFormat("%T"), ":");
  EXPECT_EQ(schedule::SeparatorFromTimeFormat("%r"), ":");
  EXPECT_EQ(schedule::SeparatorFromTimeFormat(""), ":");
  EXPECT_EQ(schedule::SeparatorFromTimeFormat("Hour %H"), ":");
}

TEST(ClockText, NextSecondIsNeverNowAndNeverMoreThanASecondAway) {
  EXPECT_EQ(schedule::MillisecondsToNextSecond(0), 1000);
  EXPECT_EQ(schedule::MillisecondsToNextSecond(1), 999);
  EXPECT_EQ(schedule::MillisecondsToNextSecond(999), 1);
}

TEST(TimerRule, TheTickedTimerTakesItsNewDelayOthersOnlyComeForward) {
  using forms::RearmTimer;
  using forms::TimerAction;
  EXPECT_EQ(RearmTimer(true, 1000, false, 0), TimerAction::Start);
  EXPECT_EQ(RearmTimer(true, -1, false, 0), TimerAction::Stop);
  EXPECT_EQ(RearmTimer(false, 0, false, 0), TimerAction::Start);   // idle, now needed
  EXPECT_EQ(RearmTimer(false, 0, true, 500), TimerAction::Start);  // sooner
  EXPECT_EQ(RearmTimer(false, 1, true, 1), TimerAction::Keep);     // not starved
  EXPECT_EQ(RearmTimer(false, 800, true, 500), TimerAction::Keep);
  EXPECT_EQ(RearmTimer(false, -1, true, 500), TimerAction::Keep);  // stops on its own tick
}

}  // namespace
