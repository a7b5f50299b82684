// The main window's timers as the runtime drives them: one-shots re-armed
// after each event with the delay the window asks for. A simulated clock
// runs the loop, so these tests see every tick and every wake-up exactly.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "main_window/shaped_form.h"
#include "platform/fake/fake_forms.h"
#include "platform/fake/fake_ras.h"
#include "platform/timer_rule.h"

namespace {

using main_window::ShapedForm;
constexpr long long kDay = 24LL * 3600 * 1000;

class TimerLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Ras() = {};
    fake::Ras().connections = {{Module1::HRASCONN{}, "Modem", /*closesOnHangUp=*/false}};
  }

  // Wall-clock time of day in ms; the timers run on the monotonic `mono_`.
  long long Wall() const { return ((mono_ + offset_) % kDay + kDay) % kDay; }
  void SetWall(long long ms) { offset_ = ms - mono_; }
  void SyncClock() {
    const long long w = Wall();
    runtime.now = {int(w / 3600000), int(w / 60000 % 60), int(w / 1000 % 60), int(w % 1000)};
  }

  void Start() {
    SyncClock();
    runtime.Show(form);
    AfterEvent(-1);
  }

  void AfterEvent(int ticked) {
    SyncClock();
    for (int timer : {ShapedForm::Timer1, ShapedForm::Timer2}) {
      const int delay = form.TimerDelay(timer);
      const bool active = due_.count(timer) != 0;
      const int remaining = active ? int(due_[timer] - mono_) : 0;
      switch (forms::RearmTimer(timer == ticked, delay, active, remaining)) {
        case forms::TimerAction::Start:
          due_[timer] = mono_ + delay;
          break;
        case forms::TimerAction::Stop:
          due_.erase(timer);
          break;
        case forms::TimerAction::Keep:
          break;
      }
    }
  }

  // Runs the loop for `ms` of monotonic time.
  void Run(long long ms) {
    const long long end = mono_ + ms;
    while (!due_.empty()) {
      auto next = due_.begin();
      for (auto it = due_.begin(); it != due_.end(); ++it)
        if (it->second < next->second) next = it;
      if (next->second > end) break;
      if (next->second > mono_) ++wakeups;
      mono_ = std::max(mono_, next->second);
      const int timer = next->first;
      due_.erase(next);
      SyncClock();
      form.Timer(timer);
      ++ticks[timer];
      if (timer == ShapedForm::Timer1) labelChanges.push_back({Wall(), Label()});
      AfterEvent(timer);
    }
    mono_ = end;
    SyncClock();
  }

  void Type(std::string_view text) {
    SyncClock();
    runtime.Type(form, ShapedForm::Text1, text);
    AfterEvent(-1);
  }
  std::string Label() { return runtime.Text(form, ShapedForm::lblTime); }
  std::vector<Module1::HRASCONN>& HangUps() { return fake::Ras().hangUps; }

  fake::Runtime runtime;
  fake::WindowSystem windows;
  fake::AddressSource winsock;
  ShapedForm form{runtime, windows, winsock};
  long long mono_ = 5'000'000, offset_ = 0;
  std::map<int, long long> due_;
  int wakeups = 0;
  std::map<int, int> ticks;
  std::vector<std::pair<long long, std::string>> labelChanges;
};

TEST_F(TimerLoop, TheClockShowsTheTimeAtOnceAfterStart) {
  SetWall(10 * 3600 * 1000 + 123);
  Start();
  EXPECT_EQ(Label(), "VREME");
  Run(1);
  EXPECT_EQ(Label(), "10:00:00");
}

TEST_F(TimerLoop, WaitingWakesOncePerSecondAtTheSecondsStart) {
  SetWall(10 * 3600 * 1000 + 123);  // 10:00:00.123
  Start();
  Run(60'000);
  EXPECT_LE(wakeups, 62);
  EXPECT_EQ(ticks[ShapedForm::Timer2], 0);
  // After the first tick, every clock tick lands on a second's first millisecond.
  ASSERT_GE(labelChanges.size(), 60u);
  for (std::size_t i = 1; i < labelChanges.size(); ++i) {
    const auto& [wall, text] = labelChanges[i];
    EXPECT_EQ(wall % 1000, 0) << text;
  }
  EXPECT_EQ(labelChanges.back().second, "10:01:00");
  EXPECT_EQ(Label(), "10:01:00");
}

TEST_F(TimerLoop, TheMatchingSecondGetsAHangUpEveryMillisecondAndThenNone) {
  SetWall(12 * 3600 * 1000 + 400);
  Start();
  Type("12:00:03");
  Run(10'000);
  // The first request at the second's very start, then one per millisecond.
  EXPECT_EQ(HangUps().size(), 1000u);
  EXPECT_LE(wakeups, 12 + 1000);
}

TEST_F(TimerLoop, TypingTheTimeShownStartsTheRequestsAtOnce) {
  SetWall(8 * 3600 * 1000 + 200);
  Start();
  Run(100);  // 08:00:00.300
  ASSERT_EQ(Label(), "08:00:00");
  Type("08:00:00");
  Run(0);
  EXPECT_EQ(HangUps().size(), 1u);
  Run(1000);
  EXPECT_EQ(HangUps().size(), 700u);  // .300 to .999: one at once, then every ms
}

TEST_F(TimerLoop, ClockSetBackOrForwardIsCaughtUpWithinASecond) {
  SetWall(9 * 3600 * 1000);
  Start();
  Run(2'500);
  SetWall(7 * 3600 * 1000 + 900);  // set back two hours, mid-second
  Run(1'000);
  EXPECT_EQ(Label(), "07:00:01");
  SetWall(20 * 3600 * 1000 + 10);  // forward
  Run(1'000);
  EXPECT_EQ(Label(), "20:00:01");
}

TEST_F(TimerLoop, AForwardStepShortOfTheTargetStillHitsIt) {
  SetWall(15 * 3600 * 1000 + 100);
  Start();
  Type("15:00:02");
  Run(1'500);                         // 15:00:01.600: the clock tick for 15:00:02 is due in 400 ms
  SetWall(15 * 3600 * 1000 + 1'900);  // NTP steps the clock 300 ms forward
  Run(2'000);
  EXPECT_GT(HangUps().size(), 0u);
  EXPECT_EQ(labelChanges.back().second, "15:00:03");
}

TEST_F(TimerLoop, MidnightWrapsToNextDay) {
  SetWall(kDay - 1'500);  // 23:59:58.500
  Start();
  Type("00:00:00");
  Run(3'000);
  EXPECT_EQ(HangUps().size(), 1000u);
  EXPECT_EQ(Label(), "00:00:01");
}

}  // namespace
