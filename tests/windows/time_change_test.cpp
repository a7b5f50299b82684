// The clock and the schedule when the time of day changes under the program:
// a step of the system clock, a resume from sleep, new regional settings.
// The real runtime and the real main window run on a time of day the test
// moves, and get the message Windows would send.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "main_window/shaped_form.h"
#include "platform/win32/win32_address.h"
#include "platform/win32/win32_runtime.h"
#include "platform/win32/win32_window_system.h"
#include "schedule/clock.h"

namespace {

using namespace std::chrono_literals;
using Main = main_window::ShapedForm;

constexpr std::int64_t kSecond = 1000, kHour = 3600 * kSecond, kDay = 24 * kHour,
                       kSlept = kDay + kHour + 2 * kSecond;

// A time of day that runs on with the monotonic clock from `since`, where it
// was `base`; the test steps it, and moves the monotonic clock ahead by
// `slept` (a sleep that it counts).
struct SteppedTime : win32::TimeSource {
  forms::TimeOfDay LocalTime() override {
    const std::int64_t ms = ((base + (Monotonic() - since) / 1ms) % kDay + kDay) % kDay;
    return {int(ms / kHour), int(ms / 60000 % 60), int(ms / 1000 % 60), int(ms % 1000)};
  }
  std::string TimeSeparator() override { return separator; }
  win32::Clock::time_point Monotonic() override { return win32::Clock::now() + slept; }
  std::int64_t base = 0;
  win32::Clock::time_point since;
  win32::Clock::duration slept{};
  std::string separator = ":";
};

// The main window, counting the ticks of Timer2 that ask for a hang-up.
class CountingForm : public Main {
 public:
  CountingForm(win32::Runtime& runtime, platform::WindowSystem& windows,
               platform::AddressSource& address)
      : Main(runtime, windows, address), runtime(runtime) {}
  void Timer(int control) override {
    hangUps += control == Timer2 && runtime.Text(*this, Text1) == runtime.Text(*this, lblTime);
    Main::Timer(control);
  }
  win32::Runtime& runtime;
  int hangUps = 0;
};

std::string Shown(const forms::TimeOfDay& t, const std::string& separator) {
  return schedule::FormatClockText(t.hour, t.minute, t.second, separator);
}

constexpr std::int64_t At(int h, int m, int s, int ms) {
  return ((h * 60 + m) * 60 + s) * kSecond + ms;
}

// From `start`, with `typed` in the box, the time of day moves by `step` and
// with the monotonic clock by `slept`, `message` comes: the clock then shows
// `shown` at once, within `within` ms of that second's start, and a hang-up
// is asked for after the change or not.
struct Change {
  const char* name;
  std::int64_t start;
  const char* typed;
  std::int64_t step, slept;
  const char* separator;
  UINT message;
  WPARAM wParam;
  const char* shown;
  int within;
  bool hangUps;
};

void PrintTo(const Change& c, std::ostream* os) { *os << c.name; }

// Each change lands in the middle of the clock's wait for its next second
// (the start is 100 ms into a second): without being told, the clock would
// show the new time only at the turn of the old second, a second off.
// clang-format off
const Change kChanges[] = {
    {"back 0.3 s",    At(10, 0, 0, 100), "",         -300,          0, ":", WM_TIMECHANGE, 0, "09:59:59", 1000, false},
    {"ahead 0.3 s",   At(10, 0, 0, 100), "",          300,          0, ":", WM_TIMECHANGE, 0, "10:00:01", 250, false},
    {"back 1 s",      At(10, 0, 0, 100), "",        -kSecond,       0, ":", WM_TIMECHANGE, 0, "09:59:59", 1000, false},
    {"ahead 1 s",     At(10, 0, 0, 100), "",         kSecond,       0, ":", WM_TIMECHANGE, 0, "10:00:01", 1000, false},
    {"back 1 h",      At(10, 0, 0, 100), "",        -kHour,         0, ":", WM_TIMECHANGE, 0, "09:00:00", 1000, false},
    {"ahead 1 h",     At(10, 0, 0, 100), "",         kHour,         0, ":", WM_TIMECHANGE, 0, "11:00:00", 1000, false},
    {"ahead 1 day",   At(10, 0, 0, 100), "",         kDay,          0, ":", WM_TIMECHANGE, 0, "10:00:01", 250, false},
    // The typed second: a step back into it matches again, one into it
    // matches at once, one over it skips it.
    {"back into it",  At(10, 0, 6, 100), "10:00:05", -kSecond,      0, ":", WM_TIMECHANGE, 0, "10:00:05", 1000, true},
    {"ahead into it", At(10, 0, 4, 100), "10:00:05",  kSecond,      0, ":", WM_TIMECHANGE, 0, "10:00:05", 1000, true},
    {"over it",       At(10, 0, 4, 100), "10:00:05",  2 * kSecond,  0, ":", WM_TIMECHANGE, 0, "10:00:06", 1000, false},
    {"back 1 h out of it", At(10, 0, 5, 100), "10:00:05", -kHour,   0, ":", WM_TIMECHANGE, 0, "09:00:05", 1000, false},
    // A sleep of more than a day, counted by the monotonic clock or not.
    {"resume, slept counted", At(10, 0, 0, 100), "", 0, kSlept, ":", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, "11:00:02", 1000, false},
    {"resume, slept not counted", At(10, 0, 0, 100), "", kSlept, 0, ":", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, "11:00:02", 1000, false},
    // New regional settings: the separator follows at once.
    {"separator",     At(10, 0, 0, 100), "",            0,          0, ".", WM_SETTINGCHANGE, 0, "10.00.00", 1000, false},
};
// clang-format on

class TimeChange : public ::testing::TestWithParam<Change> {
 protected:
  SteppedTime time;
  win32::Runtime runtime{GetModuleHandleA(nullptr), &time};
  win32::WindowSystem windowSystem;
  win32::WinsockAddress address;
  CountingForm main{runtime, windowSystem, address};
};

TEST_P(TimeChange, TheClockAndTheScheduleFollowAtOnce) {
  const Change& c = GetParam();
  time.base = c.start;
  time.since = time.Monotonic();
  runtime.Show(main);
  SetWindowTextA(runtime.ControlWindow(main, Main::Text1), c.typed);
  const std::string first = Shown(time.LocalTime(), ":");
  ASSERT_TRUE(runtime.RunUntil([&] { return runtime.Text(main, Main::lblTime) == first; }, 3s));

  time.base += c.step;
  time.slept += std::chrono::milliseconds(c.slept);
  time.separator = c.separator;
  const int hangUpsBefore = main.hangUps;
  // As Windows does: sent to every top-level window.
  SendMessageA(runtime.LoadedWindow(main), c.message, c.wParam,
               c.message == WM_SETTINGCHANGE ? reinterpret_cast<LPARAM>("intl") : 0);
  forms::TimeOfDay seen{};
  ASSERT_TRUE(runtime.RunUntil(
      [&] {
        seen = time.LocalTime();
        return runtime.Text(main, Main::lblTime) == c.shown;
      },
      3s))
      << "the clock shows " << runtime.Text(main, Main::lblTime);
  // Seen while that second lasts, early in it.
  EXPECT_EQ(Shown(seen, c.separator), c.shown);
  EXPECT_LT(seen.millisecond, c.within);
  runtime.RunUntil([] { return false; }, 50ms);
  EXPECT_EQ(main.hangUps > hangUpsBefore, c.hangUps) << main.hangUps - hangUpsBefore;
}

INSTANTIATE_TEST_SUITE_P(Steps, TimeChange, ::testing::ValuesIn(kChanges));

}  // namespace
