// The main window on the Win32 runtime when the time of day changes under it (a step of the
// clock, a resume after a sleep, new regional settings), as Windows tells its windows; and the
// system's time of day read anew on each call. A change must show at once and the schedule must
// compare with the time as shown: a clock that waits for its planned tick shows the new time late
// or never, and the typed second can pass unseen.
#include <windows.h>
// The runtime and the time source build on <windows.h>.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "main_window/shaped_form.h"
#include "platform/win32/hangup_wait.h"
#include "platform/win32/win32_address.h"
#include "platform/win32/win32_runtime.h"
#include "platform/win32/win32_window_system.h"
#include "schedule/clock.h"
#include "tests/named_rows.h"

namespace {

using named_rows::PrintTo;

using namespace std::chrono_literals;
using Main = main_window::ShapedForm;

constexpr std::int64_t kSecond = 1000, kHour = 3600 * kSecond, kDay = 24 * kHour;

// A time of day that was `base` ms at `since` and runs on with the monotonic clock.
struct SteppedTime : win32::TimeSource {
  forms::TimeOfDay LocalTime() override {
    const std::int64_t ms = ((base + (Monotonic() - since) / 1ms) % kDay + kDay) % kDay;
    return {int(ms / kHour), int(ms / 60000 % 60), int(ms / 1000 % 60), int(ms % 1000)};
  }
  std::string TimeSeparator() override { return separator; }
  win32::Clock::time_point Monotonic() override { return win32::Clock::now(); }
  std::int64_t base = 0;
  win32::Clock::time_point since;
  std::string separator = ":";
};

std::string Shown(const forms::TimeOfDay& t, const std::string& separator) {
  return schedule::FormatClockText(t.hour, t.minute, t.second, separator);
}

// 10:00:s and `ms` milliseconds (before it, when negative).
constexpr std::int64_t At(int s, int ms = 0) { return 10 * kHour + s * kSecond + ms; }

// From `start`, with `typed` in the box, the clock shows and turns a second; right after its turn
// the time of day is set to `to` (the monotonic clock does not move with it) and Windows sends
// `message`. The clock must show `shown` at once, within `within` ms of its second. A clock not
// told plans its next tick a second after the turn, and so shows the new time late or never.
struct Change {
  const char* name;
  std::int64_t start;
  const char* typed = "";
  std::optional<std::int64_t> to = {};  // none: the time of day runs on
  const char* separator = ":";          // the regional settings' after the change
  UINT message = WM_TIMECHANGE;
  WPARAM wParam = 0;
  const char* shown = "";
  int within = 1000;     // ms into the shown second: by default, while it lasts
  bool hangsUp = false;  // from the change on
};

// After a sleep of a day, an hour and two seconds that the monotonic clock did not count: a
// counted sleep makes every timer due by itself, and passed with the resume message ignored.
constexpr std::int64_t kResumed = At(2, 500) + kDay + kHour;

// (Steps back 0.3 s, ahead 1 h, ahead into the typed second and of exactly a day go: an unhandled
// WM_TIMECHANGE fails these rows as well. So does 'back 1 h out of the typed second', which also
// passed with a schedule that hangs up on every tick it runs; the end-to-end 'never after' case
// fails there.)
const Change kChanges[] = {
    // name, start, typed, to, separator, message, wParam, shown, within, hangsUp
    //
    // 0.6 s ahead within a second: told, the clock turns at the next second's start; untold, at
    // its planned tick, 0.6 s late.
    {"AheadWithinASecond", At(0, -100), "", At(0, 600), ":", WM_TIMECHANGE, 0, "10:00:01", 500},
    {"ResumedAutomatically", At(0, -100), "", kResumed, ":", WM_POWERBROADCAST,
     PBT_APMRESUMEAUTOMATIC, "11:00:02"},
    {"ResumedByTheUser", At(0, -100), "", kResumed, ":", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND,
     "11:00:02"},
    // The time set too, only so that the row knows the second shown.
    {"NewRegionalSettings", At(0, -100), "", At(0, 500), ".", WM_SETTINGCHANGE, 0, "10.00.00"},
};

// The typed second: a step back into it matches, one over it skips it.
const Change kTypedChanges[] = {
    // name, start, typed, to, separator, message, wParam, shown, within, hangsUp
    {"BackIntoTheTypedSecond", At(7, -100), "10:00:05", At(5, 500), ":", WM_TIMECHANGE, 0,
     "10:00:05", 1000, true},
    {"OverTheTypedSecond", At(4, -100), "10:00:05", At(6, 500), ":", WM_TIMECHANGE, 0, "10:00:06",
     1000, false},
};

// The main window on the stepped time, its clock showing, then the row's change.
class TimeChange : public ::testing::TestWithParam<Change> {
 protected:
  void SetUp() override {
    const Change& c = GetParam();
    time.base = c.start;
    time.since = time.Monotonic();
    // A connection of the test rasapi32.dll, anew for each change this program makes.
    static int changes = 0;
    const std::string modem = std::to_string(++changes) + ":Modem";
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_CONNECTIONS", modem.c_str());
    runtime.Show(main);
    SetWindowTextA(runtime.ControlWindow(main, Main::Text1), c.typed);
    // The change lands right after a turn: a wait for it, however long the window took to show.
    ASSERT_TRUE(runtime.RunUntil([&] { return Clock() != "VREME"; }, 3s));
    const std::string before = Clock();
    ASSERT_TRUE(runtime.RunUntil([&] { return Clock() != before; }, 3s)) << "no turn: " << before;

    if (c.to) {
      time.base = *c.to;
      time.since = time.Monotonic();
    }
    time.separator = c.separator;
    changedAt = win32::Clock::now();
    // As Windows does: sent to every top-level window.
    SendMessageA(runtime.LoadedWindow(main), c.message, c.wParam,
                 c.message == WM_SETTINGCHANGE ? reinterpret_cast<LPARAM>("intl") : 0);
  }

  std::string Clock() { return runtime.Text(main, Main::lblTime); }

  SteppedTime time;
  win32::Runtime runtime{GetModuleHandleA(nullptr), &time};
  win32::WindowSystem windowSystem;
  win32::WinsockAddress address;
  Main main{runtime, windowSystem, address};
  win32::Clock::time_point changedAt;
};

TEST_P(TimeChange, TheClockShowsTheNewTimeEarlyInItsSecond) {
  const Change& c = GetParam();
  forms::TimeOfDay seen{};  // the time of day when the clock was first seen to show it
  ASSERT_TRUE(runtime.RunUntil(
      [&] {
        seen = time.LocalTime();
        return Clock() == c.shown;
      },
      3s))
      << "the clock shows " << Clock();
  EXPECT_EQ(Shown(seen, c.separator), c.shown);
  EXPECT_LT(seen.millisecond, c.within);
}

INSTANTIATE_TEST_SUITE_P(Changes, TimeChange, ::testing::ValuesIn(kChanges), named_rows::ByName());
INSTANTIATE_TEST_SUITE_P(Typed, TimeChange, ::testing::ValuesIn(kTypedChanges),
                         named_rows::ByName());

class TypedSecond : public TimeChange {};

// Counted as the RAS layer recorded the program's requests. While it matches, the schedule asks
// on every millisecond's tick: 50 ms without a request is none.
TEST_P(TypedSecond, TheScheduleHangsUpOnlyIfTheNewTimeIsIt) {
  const auto requested = [&] { return !win32::RecordedHangUps().Since(changedAt).empty(); };
  EXPECT_EQ(runtime.RunUntil(requested, GetParam().hangsUp ? 3s : 50ms), GetParam().hangsUp);
}

INSTANTIATE_TEST_SUITE_P(Typed, TypedSecond, ::testing::ValuesIn(kTypedChanges),
                         named_rows::ByName());

// The import the program's calls of GetLocalTime go through, and what it held.
#ifdef _WIN64
extern "C" decltype(&GetLocalTime) localTimeImport asm("__imp_GetLocalTime");
#else
extern "C" decltype(&GetLocalTime) localTimeImport asm("__imp__GetLocalTime@4");
#endif
decltype(&GetLocalTime) realLocalTime;

// The system's time of day after a step of an hour ahead.
void WINAPI HourAhead(SYSTEMTIME* time) {
  realLocalTime(time);
  time->wHour = (time->wHour + 1) % 24;
}

// A time source that kept what it read first would show a step of the clock never.
TEST(SystemTime, ReadsTheSystemsTimeOfDayAnewOnEachCall) {
  win32::SystemTime time;
  time.LocalTime();
  realLocalTime = localTimeImport;
  DWORD protection;
  VirtualProtect(&localTimeImport, sizeof realLocalTime, PAGE_READWRITE, &protection);
  localTimeImport = HourAhead;  // a step of the clock
  const int hour = time.LocalTime().hour;
  SYSTEMTIME ahead;
  HourAhead(&ahead);
  localTimeImport = realLocalTime;
  EXPECT_EQ(hour, ahead.wHour);
}

}  // namespace
