// The Win32 runtime's form timers as due times (platform/win32/form_timers.cpp), on made-up
// instants: which timer the message loop waits for, how long, and which runs when several are
// due. A wait that ends a fraction of a millisecond early would wake the loop for nothing; a
// timer starved by its neighbours would stop the clock.
#include "platform/win32/form_timers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <vector>

#include "tests/named_rows.h"

namespace {

using named_rows::PrintTo;

using std::chrono::microseconds;
using std::chrono::milliseconds;

const win32::Clock::time_point t0 = win32::Clock::time_point() + std::chrono::hours(1);

TEST(FormTimers, NoneIsDueBeforeOneStarts) {
  win32::FormTimers timers;
  timers.Add(1);
  win32::Clock::time_point due;
  EXPECT_FALSE(timers.NextDue(due));
}

TEST(FormTimers, AStoppedTimerHasNoTimeLeft) {
  win32::FormTimers timers;
  timers.Add(2);
  timers.Start(2, 20, t0);
  timers.Stop(2);
  EXPECT_EQ(timers.RemainingMs(2, t0), 0);
}

TEST(FormTimers, TheLoopWaitsForTheEarliestActiveOne) {
  win32::FormTimers timers;
  for (int id : {1, 2, 3}) timers.Add(id);
  timers.Start(1, 30, t0);
  timers.Start(2, 20, t0);
  timers.Stop(2);
  timers.Start(3, 40, t0);
  win32::Clock::time_point due;
  ASSERT_TRUE(timers.NextDue(due));
  EXPECT_EQ(due, t0 + milliseconds(30));
}

// The longest due first, then design order among equals; each is taken off the clock as it runs,
// and one not due yet is not taken (-1). (TakeDue before any is due, and Active after the run, go:
// a timer taken early, or left on the clock, or all taken off, fails this order.)
TEST(FormTimers, TheLongestDueRunsFirstThenDesignOrder) {
  win32::FormTimers timers;
  for (int id : {7, 1, 2, 3}) timers.Add(id);
  timers.Start(1, 5, t0);
  timers.Start(2, 1, t0);
  timers.Start(3, 100, t0);
  timers.Start(7, 5, t0);
  std::vector<int> taken;
  for (int i = 0; i < 4; ++i) taken.push_back(timers.TakeDue(t0 + milliseconds(6)));
  EXPECT_EQ(taken, (std::vector{2, 7, 1, -1}));
}

// A timer of 30 ms started at t0, asked at `at`; the loop's wait for it, at most `cap`.
struct Moment {
  const char* name;
  int at;  // microseconds after t0
  int remaining;
  unsigned cap, wait;
};

// Rounded up: 0.999 ms left is 1, not 0. (The exact-due and rounding rows go: these two fail on
// the same faults.)
const Moment kMoments[] = {
    {.name = "AtTheStartAWaitCapped", .at = 0, .remaining = 30, .cap = 25, .wait = 25},
    {.name = "LessThanAMillisecondLeft", .at = 29'001, .remaining = 1, .cap = 1000, .wait = 1},
    {.name = "PastDue", .at = 50'000, .remaining = 0, .cap = 1000, .wait = 0},
};

class TimeLeft : public ::testing::TestWithParam<Moment> {
 protected:
  TimeLeft() {
    timers.Add(1);
    timers.Start(1, 30, t0);
  }
  win32::Clock::time_point At() const { return t0 + microseconds(GetParam().at); }
  win32::FormTimers timers;
};

TEST_P(TimeLeft, RemainingMsRoundsUp) {
  EXPECT_EQ(timers.RemainingMs(1, At()), GetParam().remaining);
}

TEST_P(TimeLeft, TheLoopsWaitRoundsUpToItsCap) {
  EXPECT_EQ(win32::WaitMilliseconds(t0 + milliseconds(30), At(), GetParam().cap), GetParam().wait);
}

INSTANTIATE_TEST_SUITE_P(Moments, TimeLeft, ::testing::ValuesIn(kMoments), named_rows::ByName());

}  // namespace
