// The main window on the Qt runtime, its real form timers and their re-arming,
// under a time of day the test steps: the clock follows a step at once and
// turns on each second of the new time; the schedule matches the typed second
// again after a step back into it, skips it after a step over it; the zone
// and its daylight-saving changes, and the locale's separator.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

#include "main_window/shaped_form.h"
#include "platform/fake/fake_forms.h"
#include "platform/fake/fake_ras.h"
#include "platform/qt/form_timer.h"
#include "platform/qt/qt_runtime.h"
#include "tests/qt/qt_test_loop.h"

namespace {

using qt_test::Drain;
using qt_test::RunUntil;

using main_window::ShapedForm;
namespace fs = std::filesystem;

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kSecond = 1000 * kMs;
constexpr std::int64_t kHour = 3600 * kSecond;
constexpr std::int64_t kDay = 24 * kHour;

// An instant, in ns since the epoch, given in UTC.
std::int64_t Utc(int year, int month, int day, int hour, int minute, int second, int ms) {
  tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return static_cast<std::int64_t>(timegm(&t)) * kSecond + ms * kMs;
}

// The system's time of day moved by an offset the test sets, in the zone
// the system clock reads (the test's own $TZ file). Its steps are told as
// the system's are.
class SteppedClock : public qt_backend::Clock {
 public:
  std::int64_t Now() override { return system_.Now() + offset_; }
  forms::TimeOfDay LocalTime(std::int64_t ns) override { return system_.LocalTime(ns); }
  std::int64_t SystemInstant(std::int64_t ns) override { return ns - offset_; }

  void Set(std::int64_t ns) { offset_ = ns - system_.Now(); }
  void Step(std::int64_t by) {
    offset_ += by;
    Stepped();
  }

 private:
  qt_backend::SystemClock system_;
  std::int64_t offset_ = 0;
};

void RunFor(int ms) {
  RunUntil([] { return false; }, ms);
}

class Clock : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Ras() = {};
    fake::Ras().connections = {{Module1::HRASCONN{}, "Modem", /*closesOnHangUp=*/false}};
    dir_ = fs::temp_directory_path() / ("prekidnik-clock-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    zone_ = dir_ / "zone";
  }
  void TearDown() override {
    form_.reset();
    runtime_.reset();
    clock_.reset();
    unsetenv("TZ");
    tzset();
    fs::remove_all(dir_);
  }

  // Replaces the zone file, as `timedatectl set-timezone` replaces its link.
  void UseZone(const std::string& name) {
    const fs::path next = dir_ / "zone.new";
    fs::copy_file("/usr/share/zoneinfo/" + name, next, fs::copy_options::overwrite_existing);
    fs::rename(next, zone_);
  }

  void Start(const std::string& zone, std::int64_t at, const std::string& target) {
    UseZone(zone);
    setenv("TZ", zone_.c_str(), 1);
    tzset();
    clock_ = std::make_unique<SteppedClock>();
    clock_->Set(at);
    runtime_ = std::make_unique<qt_backend::Runtime>(clock_.get());
    form_ = std::make_unique<ShapedForm>(*runtime_, windows_, winsock_);
    runtime_->Show(*form_);
    if (!target.empty()) runtime_->SetText(*form_, ShapedForm::Text1, target);
    ASSERT_TRUE(RunUntil([&] { return Label() != "VREME"; }));
  }

  std::string Label() { return runtime_->Text(*form_, ShapedForm::lblTime); }
  std::size_t HangUps() { return fake::Ras().hangUps.size(); }
  qt_backend::FormTimer& Timer1() {
    return *runtime_->Loaded(*form_)->TimerControl(ShapedForm::Timer1);
  }
  // Whether the clock's next tick is due at the very start of the next
  // second of the time of day.
  bool TurnsAtTheNextSecond() {
    const std::int64_t now = clock_->Now(), due = Timer1().due();
    return due % kSecond == 0 && due > now && due - now <= kSecond;
  }

  fs::path dir_, zone_;
  fake::WindowSystem windows_;
  fake::AddressSource winsock_;
  std::unique_ptr<SteppedClock> clock_;
  std::unique_ptr<qt_backend::Runtime> runtime_;
  std::unique_ptr<ShapedForm> form_;
};

TEST_F(Clock, FollowsStepsAndResumesAtOnceAndTheTypedSecondMatchesAsShown) {
  struct Case {
    const char* name;
    const char* zone;
    std::int64_t start;  // the time of day when the program starts
    std::int64_t step;   // 0: no step, the clock runs over the next second
    const char* shown;   // the clock right after the step (or the turn)
    bool hangsUp;        // whether the typed time is asked to hang up then
    const char* typed = "10:00:00";
  };
  const std::int64_t day = Utc(2024, 6, 3, 0, 0, 0, 0);
  const std::int64_t nine = day + 9 * kHour + 59 * 60 * kSecond;  // 09:59:00
  const Case cases[] = {
      {"forward 0.3 s in a wait", "UTC", nine + 57'400 * kMs, 300 * kMs, "09:59:57", false},
      {"back 0.3 s in a wait", "UTC", nine + 57'700 * kMs, -300 * kMs, "09:59:57", false},
      {"forward 1 s into the typed second", "UTC", nine + 59'400 * kMs, kSecond, "10:00:00", true},
      {"back 1 s into the typed second", "UTC", nine + 61'400 * kMs, -kSecond, "10:00:00", true},
      {"forward 0.3 s in the typed second", "UTC", nine + 60'200 * kMs, 300 * kMs, "10:00:00",
       true},
      {"back 0.3 s in the typed second", "UTC", nine + 60'700 * kMs, -300 * kMs, "10:00:00", true},
      {"forward 1 h over the typed second", "UTC", nine + 59'400 * kMs, kHour, "10:59:59", false},
      {"back 1 h out of the typed second", "UTC", nine + 60'400 * kMs, -kHour, "09:00:00", false},
      {"forward a day in a wait", "UTC", nine + 58'400 * kMs, kDay + 300 * kMs, "09:59:58", false},
      {"resumed 29 h later in the typed second", "UTC", nine + 60'300 * kMs - 29 * kHour,
       29 * kHour, "10:00:00", true},
      {"midnight", "UTC", day - 400 * kMs, 0, "00:00:00", false},
      // Belgrade, 27 October 2024: 03:00 CEST becomes 02:00 CET at 01:00 UTC.
      {"autumn, the hour repeated", "Europe/Belgrade", Utc(2024, 10, 27, 0, 59, 59, 500), 0,
       "02:00:00", true, "02:00:00"},
      // 31 March 2024: 02:00 CET becomes 03:00 CEST at 01:00 UTC.
      {"spring, the hour left out", "Europe/Belgrade", Utc(2024, 3, 31, 0, 59, 59, 500), 0,
       "03:00:00", false, "02:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    Start(c.zone, c.start, c.typed);
    const std::size_t before = HangUps();
    if (c.step != 0) {
      clock_->Step(c.step);
      Drain();  // what the step made due at once, and nothing that waits
    } else {
      ASSERT_TRUE(RunUntil([&] { return Label() == c.shown; }, 2000)) << Label();
    }
    EXPECT_EQ(Label(), c.shown);
    EXPECT_TRUE(TurnsAtTheNextSecond());
    RunFor(50);
    EXPECT_EQ(HangUps() > before, c.hangsUp);
  }
}

TEST_F(Clock, TheTypedSecondMatchesInBothPassesOfTheRepeatedHour) {
  Start("Europe/Belgrade", Utc(2024, 10, 27, 0, 29, 59, 500), "02:30:00");  // 02:29:59 CEST
  ASSERT_TRUE(RunUntil([&] { return Label() == "02:30:01"; }));
  const std::size_t first = HangUps();
  EXPECT_GT(first, 0u);
  clock_->Step(kHour - 1500 * kMs);  // 02:29:59.5 CET, where an hour's running brings it
  Drain();
  EXPECT_EQ(Label(), "02:29:59");
  ASSERT_TRUE(RunUntil([&] { return Label() == "02:30:01"; }));
  EXPECT_GT(HangUps(), first);
}

TEST_F(Clock, ANewZoneShowsAtTheNextTick) {
  Start("UTC", Utc(2024, 6, 3, 10, 0, 0, 200), "19:00:01");
  ASSERT_EQ(Label(), "10:00:00");
  UseZone("Asia/Tokyo");  // nine hours ahead, no step of the time of day
  const std::int64_t due = Timer1().due();
  ASSERT_TRUE(RunUntil([&] { return Timer1().lastDue() == due; }));
  EXPECT_EQ(Label(), "19:00:01");
  RunFor(20);
  EXPECT_GT(HangUps(), 0u);
}

TEST_F(Clock, TheSeparatorOfRealLocales) {
  struct Case {
    const char* locale;
    const char* separator;
  };
  const Case cases[] = {
      {"en_US.UTF-8", ":"},  // 12-hour: %r
      {"sr_RS.UTF-8@latin", ":"}, {"fi_FI.UTF-8", "."}, {"da_DK.UTF-8", ":"},
      {"de_DE.UTF-8", ":"},       {"ja_JP.UTF-8", ":"}, {"zh_CN.UTF-8", ":"},
      {"ko_KR.UTF-8", ":"},       {"nb_NO.UTF-8", "."}, {"hi_IN.UTF-8", ":"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    setenv("LC_ALL", c.locale, 1);
    TearDown();
    SetUp();
    Start("UTC", Utc(2024, 6, 3, 12, 34, 56, 300), "");
    EXPECT_EQ(runtime_->TimeSeparator(), c.separator);
    EXPECT_EQ(Label(), std::string("12") + c.separator + "34" + c.separator + "56");
  }
  unsetenv("LC_ALL");
}

}  // namespace
