// The forms' timers as due times: what the message loop waits for and runs.
#include "platform/win32/form_timers.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

const win32::Clock::time_point t0 = win32::Clock::time_point() + std::chrono::hours(1);

TEST(FormTimers, RemainingTimeRoundsUpAndTheLoopWaitsForTheEarliestActive) {
  win32::FormTimers timers;
  timers.Add(1);
  timers.Add(2);
  win32::Clock::time_point due;
  EXPECT_FALSE(timers.NextDue(due));
  EXPECT_EQ(timers.RemainingMs(1, t0), 0);  // never started
  timers.Start(1, 30, t0);
  timers.Start(2, 20, t0);
  timers.Stop(2);
  EXPECT_FALSE(timers.Active(2));
  EXPECT_EQ(timers.RemainingMs(2, t0), 0);
  ASSERT_TRUE(timers.NextDue(due));
  EXPECT_EQ(due, t0 + milliseconds(30));
  const struct {
    microseconds at;
    int remaining;
    unsigned wait, cap;  // the loop's wait, at most `cap`
  } cases[] = {{microseconds(0), 30, 25, 25},
               {microseconds(500), 30, 30, 1000},
               {microseconds(29001), 1, 1, 1000},  // 0.999 ms left: 1, not 0
               {microseconds(30000), 0, 0, 1000},
               {microseconds(50000), 0, 0, 1000}};
  for (const auto& c : cases) {
    EXPECT_EQ(timers.RemainingMs(1, t0 + c.at), c.remaining) << c.at.count();
    EXPECT_EQ(win32::WaitMilliseconds(due, t0 + c.at, c.cap), c.wait) << c.at.count();
  }
}

TEST(FormTimers, TheLongestDueRunsFirstThenDesignOrderAndIsTakenOffTheClock) {
  win32::FormTimers timers;
  for (int id : {7, 1, 2, 3}) timers.Add(id);
  timers.Start(1, 5, t0);
  timers.Start(2, 1, t0);
  timers.Start(3, 100, t0);
  timers.Start(7, 5, t0);
  EXPECT_EQ(timers.TakeDue(t0), -1);  // none due yet
  for (int id : {2, 7, 1, -1}) EXPECT_EQ(timers.TakeDue(t0 + milliseconds(6)), id);
  EXPECT_FALSE(timers.Active(2));
  EXPECT_TRUE(timers.Active(3));
}

}  // namespace
