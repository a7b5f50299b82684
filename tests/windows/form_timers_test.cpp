// The forms' timers as due times: what the message loop waits for and runs.
#include "platform/win32/form_timers.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using win32::Clock;
using win32::FormTimers;

const Clock::time_point t0 = Clock::time_point() + std::chrono::hours(1);

TEST(FormTimers, RemainingTimeRoundsUpAndIsZeroOnceDueOrStopped) {
  FormTimers timers;
  timers.Add(1);
  EXPECT_EQ(timers.RemainingMs(1, t0), 0);  // never started
  timers.Start(1, 10, t0);
  EXPECT_EQ(timers.RemainingMs(1, t0), 10);
  EXPECT_EQ(timers.RemainingMs(1, t0 + microseconds(9001)), 1);  // 0.999 ms left: 1, not 0
  EXPECT_EQ(timers.RemainingMs(1, t0 + milliseconds(10)), 0);
  EXPECT_EQ(timers.RemainingMs(1, t0 + milliseconds(50)), 0);
  timers.Start(1, 10, t0);
  timers.Stop(1);
  EXPECT_FALSE(timers.Active(1));
  EXPECT_EQ(timers.RemainingMs(1, t0), 0);
}

TEST(FormTimers, TheLongestDueRunsFirstAndIsTakenOffTheClock) {
  FormTimers timers;
  timers.Add(1);
  timers.Add(2);
  timers.Add(3);
  timers.Start(1, 5, t0);
  timers.Start(2, 1, t0);
  timers.Start(3, 100, t0);
  EXPECT_EQ(timers.TakeDue(t0), -1);  // none due yet
  const Clock::time_point later = t0 + milliseconds(6);
  EXPECT_EQ(timers.TakeDue(later), 2);  // due since t0+1, before timer 1
  EXPECT_FALSE(timers.Active(2));
  EXPECT_EQ(timers.TakeDue(later), 1);
  EXPECT_EQ(timers.TakeDue(later), -1);  // timer 3 is not due
  EXPECT_TRUE(timers.Active(3));
}

TEST(FormTimers, EqualDueTimesRunInDesignOrder) {
  FormTimers timers;
  timers.Add(7);
  timers.Add(4);
  timers.Start(4, 1, t0);
  timers.Start(7, 1, t0);
  EXPECT_EQ(timers.TakeDue(t0 + milliseconds(1)), 7);
  EXPECT_EQ(timers.TakeDue(t0 + milliseconds(1)), 4);
}

TEST(FormTimers, TheLoopWaitsForTheEarliestActiveTimerRoundedUp) {
  FormTimers timers;
  timers.Add(1);
  timers.Add(2);
  Clock::time_point due;
  EXPECT_FALSE(timers.NextDue(due));
  timers.Start(1, 30, t0);
  timers.Start(2, 20, t0);
  timers.Stop(2);
  ASSERT_TRUE(timers.NextDue(due));
  EXPECT_EQ(due, t0 + milliseconds(30));
  EXPECT_EQ(win32::WaitMilliseconds(due, t0 + microseconds(500), 1000), 30u);
  EXPECT_EQ(win32::WaitMilliseconds(due, t0 + milliseconds(31), 1000), 0u);
  EXPECT_EQ(win32::WaitMilliseconds(due, t0, 25), 25u);
}

}  // namespace
