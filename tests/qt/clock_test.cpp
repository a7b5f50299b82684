// The main window on the Qt runtime when the time of day changes under it: the clock set by a
// step (by hand, by NTP, after a suspend), a new zone, summer time, the locale's separator; and
// texts typed into the box that only look like the clock's. A step must show at once and the
// schedule must compare with the time as shown, never with a time planned before the change.
//
// The machine's clock is never set: the runtime runs on a clock offset from the system's, and a
// step is told to it through the system clock's own watch, by an interposer of the two calls the
// watch makes. The zone is a file of this test's own, replaced as `timedatectl` replaces its link.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "main_window/shaped_form.h"
#include "platform/fake/fake_forms.h"
#include "platform/fake/fake_ras.h"
#include "platform/qt/form_timer.h"
#include "platform/qt/qt_runtime.h"
#include "tests/named_rows.h"
#include "tests/qt/event_loop.h"

// The kernel's notice of a step of the clock, which only setting the machine's clock gives: the
// timerfd last armed with TFD_TIMER_CANCEL_ON_SET (SystemClock's watch) turns readable, and its
// next read() fails with ECANCELED.
static int watchFd = -1;
static bool stepTold = false;
template <typename F>
static F* Real(F*, const char* name) {
  return reinterpret_cast<F*>(dlsym(RTLD_NEXT, name));
}

extern "C" int timerfd_settime(int fd, int flags, const itimerspec* value,
                               itimerspec* old) noexcept {
  if (flags & TFD_TIMER_CANCEL_ON_SET) watchFd = fd;
  return Real(timerfd_settime, "timerfd_settime")(fd, flags, value, old);
}

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
  if (fd != watchFd || !std::exchange(stepTold, false)) return Real(read, "read")(fd, buffer, size);
  errno = ECANCELED;
  return -1;
}

namespace {

using named_rows::PrintTo;

using main_window::ShapedForm;
using qt_test::Drain;
using qt_test::RunUntil;
namespace fs = std::filesystem;

constexpr std::int64_t kMs = 1'000'000, kSecond = 1000 * kMs, kHour = 3600 * kSecond;

// The system's time moved by an offset, in the system's zone (the test's $TZ); a step is told
// through the system clock's own watch.
struct SteppedClock : qt_backend::Clock {
  explicit SteppedClock(std::int64_t at) : offset(at - system.Now()) {
    system.OnStep([this] { Stepped(); });
  }
  std::int64_t Now() override { return system.Now() + offset; }
  forms::TimeOfDay LocalTime(std::int64_t ns) override { return system.LocalTime(ns); }
  std::int64_t SystemInstant(std::int64_t ns) override { return ns - offset; }
  void Step(std::int64_t by) {  // as the machine's clock is set
    const itimerspec past = {{0, 0}, {0, 1}};
    offset += by, stepTold = true;
    timerfd_settime(watchFd, TFD_TIMER_ABSTIME, &past, nullptr);
  }
  qt_backend::SystemClock system;
  std::int64_t offset;
};

// 3 June 2024, 10:00 UTC. In Belgrade on 27 October 2024 03:00 CEST becomes 02:00 CET at 01:00
// UTC; on 31 March 2024 02:00 CET becomes 03:00 CEST at 01:00 UTC.
constexpr std::int64_t kTen = (1717372800 + 36000) * kSecond, kAutumn = 1729990800 * kSecond,
                       kSpring = 1711846800 * kSecond;
// The program starts 0.2 s before the second when a change lands.
constexpr std::int64_t kLead = 200 * kMs;

// Rows are positional, in the fields' order; a look-alike row gives only its name and text.
struct Change {
  const char* name;
  std::string typed = "10:00:00";
  std::int64_t start = kTen - kLead;    // when the program starts, kLead before `before`
  const char* before = "10:00:00";      // the clock's text when the change lands
  std::optional<std::int64_t> to = {};  // the clock set to this time; none: not set
  const char* zone = "UTC";             // in force at the start
  const char* newZone = nullptr;        // replaces it
  const char* locale = nullptr;         // LC_ALL
  const char* shown = "10:00:00";       // after the change: at once when set, else at the next tick
  bool hangsUp = false;                 // from the shown time on
};

constexpr std::nullopt_t kNotSet = std::nullopt;

// The clock set a few hundred ms into a second: shown only at the next tick, it would be late.
const Change kSteps[] = {
    // name, typed, start, before, to, zone, newZone, locale, shown, hangsUp
    {"ForwardIntoTheTypedSecond", "10:00:00", kTen - kSecond - kLead, "09:59:59", kTen + 400 * kMs,
     "UTC", nullptr, nullptr, "10:00:00", true},
    {"BackIntoIt", "10:00:00", kTen + kSecond - kLead, "10:00:01", kTen + 400 * kMs, "UTC", nullptr,
     nullptr, "10:00:00", true},
    {"ForwardOverIt", "10:00:00", kTen - kSecond - kLead, "09:59:59", kTen + kHour - 600 * kMs,
     "UTC", nullptr, nullptr, "10:59:59", false},
    {"BackOutOfIt", "10:00:00", kTen - kLead, "10:00:00", kTen - kHour + 400 * kMs, "UTC", nullptr,
     nullptr, "09:00:00", false},
    {"Resumed29HoursLaterInIt", "10:00:00", kTen - 29 * kHour - kLead, "05:00:00", kTen + 300 * kMs,
     "UTC", nullptr, nullptr, "10:00:00", true},
};

// Not set: the next tick, planned before, shows the time in the zone and locale then in force.
// (The autumn hour's first pass goes: the spring row fails on an hour that ignores summer time.)
const Change kZonesAndLocales[] = {
    // name, typed, start, before, to, zone, newZone, locale, shown, hangsUp
    {"ANewZone9HoursAhead", "19:00:01", kTen - kLead, "10:00:00", kNotSet, "UTC", "Asia/Tokyo",
     nullptr, "19:00:01", true},
    {"TheAutumnHoursSecondPass", "02:30:00", kAutumn + kHour / 2 - kSecond - kLead, "02:29:59",
     kNotSet, "Europe/Belgrade", nullptr, nullptr, "02:30:00", true},
    {"TheSpringHourLeftOut", "02:00:00", kSpring - kSecond - kLead, "01:59:59", kNotSet,
     "Europe/Belgrade", nullptr, nullptr, "03:00:00", false},
    // fi_FI's time format, %H.%M.%S, names the separator; over midnight. One locale row: which
    // sign of a format is the separator is the logic tests' ClockSeparator.
    {"TheFinnishSeparatorAtMidnight", "", kTen - 10 * kHour - kSecond - kLead, "23.59.59", kNotSet,
     "UTC", nullptr, "fi_FI.UTF-8", "00.00.00", false},
};

// Texts that only look like the clock's 10:00:00, typed while it shows 09:59:59 (by the defaults:
// no change, and the checks begin once it shows 10:00:00). A typed text of any size must neither
// match nor break the program; a text box that cut what it takes would make the combining accent
// and the megabyte match.
const Change kLookAlikes[] = {
    {"ACombiningAccentAfter", "10:00:00\u0301"},
    {"ARightToLeftMarkBefore", "\u200f10:00:00"},
    {"AnOverrideAround", "\u202e10:00:00\u202c"},
    {"ABellInside", "10\a:00:00"},
    {"AByteOfNoCharacterAfter", "10:00:00\xff"},
    {"FullWidthColons", "10\uff1a00\uff1a00"},
    {"AMegabyteThatBeginsWithIt", "10:00:00" + std::string(1 << 20, '0')},
};

// A zone file of the test's own in $TZ, and the locale in $LC_ALL, while it lives.
class Surroundings {
 public:
  Surroundings(const char* zone, const char* locale) {
    fs::create_directories(dir_);
    if (Installed(zone)) Use(zone);
    setenv("TZ", (dir_ / "zone").c_str(), 1);
    if (locale) setenv("LC_ALL", locale, 1);
  }
  // After every other member (declared first): the C library reads a $TZ of the same path anew
  // only after another one.
  ~Surroundings() {
    unsetenv("TZ"), unsetenv("LC_ALL"), tzset();
    fs::remove_all(dir_);
  }
  static bool Installed(const std::string& zone) {
    return fs::exists("/usr/share/zoneinfo/" + zone);
  }
  // Replaces the zone file, as `timedatectl set-timezone` replaces its link.
  void Use(const std::string& zone) {
    fs::copy_file("/usr/share/zoneinfo/" + zone, dir_ / "new");
    fs::rename(dir_ / "new", dir_ / "zone");
  }

 private:
  const fs::path dir_ = fs::temp_directory_path() / ("prekidnik-clock-" + std::to_string(getpid()));
};

// The main window shown from the row's start, its typed text in the box and its clock showing;
// then the row's change, and what that made due at once delivered.
class ClockChange : public ::testing::TestWithParam<Change> {
 protected:
  void SetUp() override {
    const Change& c = GetParam();
    for (const char* zone : {c.zone, c.newZone})
      if (zone && !Surroundings::Installed(zone))
        GTEST_SKIP() << "no zone file " << zone << " (Debian: tzdata)";
    if (c.locale) {
      locale_t installed = newlocale(LC_ALL_MASK, c.locale, nullptr);
      if (!installed) GTEST_SKIP() << c.locale << " is not installed (Debian: locales-all)";
      freelocale(installed);
    }
    fake::Ras() = {{{Module1::HRASCONN{}, "Modem"}}, {}};
    runtime.Show(form);
    runtime.SetText(form, ShapedForm::Text1, c.typed);
    // The change lands while the clock shows `before`: a wait for it, however long the window
    // took to show.
    ASSERT_TRUE(RunUntil([&] { return Label() == c.before; })) << "the clock shows " << Label();
    planned = Timer1().due();
    if (c.to) clock.Step(*c.to - clock.Now());
    if (c.newZone) surroundings.Use(c.newZone);
    Drain();
  }

  std::string Label() { return runtime.Text(form, ShapedForm::lblTime); }
  const qt_backend::FormTimer& Timer1() {
    return *runtime.Loaded(form)->TimerControl(ShapedForm::Timer1);
  }
  // Waits for the clock to show the row's time; whether it did.
  bool ShowsTheTime() {
    return RunUntil([&] { return Label() == GetParam().shown; }, 3000);
  }

  Surroundings surroundings{GetParam().zone, GetParam().locale};
  SteppedClock clock{GetParam().start};
  fake::WindowSystem windows;
  fake::AddressSource winsock;
  qt_backend::Runtime runtime{&clock};
  ShapedForm form{runtime, windows, winsock};
  std::int64_t planned = 0;  // the instant Timer1 was due next before the change
};

TEST_P(ClockChange, TheNextTickIsDueAtTheStartOfASecond) {
  ASSERT_TRUE(ShowsTheTime()) << "the clock shows " << Label() << ", not " << GetParam().shown;
  const std::int64_t now = clock.Now(), due = Timer1().due();
  EXPECT_EQ(due % kSecond, 0);
  EXPECT_GT(due, now);
  EXPECT_LE(due - now, kSecond);
}

// Hang-ups are counted from the shown time on: those before the change were right then.
TEST_P(ClockChange, TheScheduleHangsUpOnlyWhileTheTypedTimeIsShown) {
  ASSERT_TRUE(ShowsTheTime()) << "the clock shows " << Label() << ", not " << GetParam().shown;
  const std::size_t before = fake::Ras().hangUps.size();
  // While it matches, the schedule hangs up on every millisecond's tick: 50 ms without one is
  // none. A wait for a hang-up ends with the first.
  const bool hungUp =
      RunUntil([&] { return fake::Ras().hangUps.size() > before; }, GetParam().hangsUp ? 3000 : 50);
  EXPECT_EQ(hungUp, GetParam().hangsUp);
}

INSTANTIATE_TEST_SUITE_P(Steps, ClockChange, ::testing::ValuesIn(kSteps), named_rows::ByName());
INSTANTIATE_TEST_SUITE_P(ZonesAndLocales, ClockChange, ::testing::ValuesIn(kZonesAndLocales),
                         named_rows::ByName());

class ClockStep : public ClockChange {};

// Not a wait: the step's notice, delivered by Drain, must have shown it already.
TEST_P(ClockStep, ShowsTheNewTimeAtOnce) { EXPECT_EQ(Label(), GetParam().shown); }

INSTANTIATE_TEST_SUITE_P(Steps, ClockStep, ::testing::ValuesIn(kSteps), named_rows::ByName());

class ClockWithoutStep : public ClockChange {};

TEST_P(ClockWithoutStep, ShowsTheLocalTimeAtTheTickPlannedBefore) {
  EXPECT_TRUE(ShowsTheTime()) << "the clock shows " << Label() << ", not " << GetParam().shown;
  EXPECT_EQ(Timer1().lastDue(), planned);
}

INSTANTIATE_TEST_SUITE_P(ZonesAndLocales, ClockWithoutStep, ::testing::ValuesIn(kZonesAndLocales),
                         named_rows::ByName());

class TypedLookAlike : public ClockChange {};

TEST_P(TypedLookAlike, NeverMatchesTheClock) {
  RunUntil([] { return false; }, 50);  // the schedule ticks each millisecond while they match
  EXPECT_EQ(fake::Ras().hangUps.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Texts, TypedLookAlike, ::testing::ValuesIn(kLookAlikes),
                         named_rows::ByName());

}  // namespace
