// The Qt form timers; the main window on them under stepped times, zones, locales and typed
// texts; and what the main window shows.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFontMetrics>
#include <QScreen>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "main_window/shaped_form.h"
#include "platform/fake/fake_forms.h"
#include "platform/fake/fake_ras.h"
#include "platform/label_text.h"
#include "platform/qt/form_timer.h"
#include "platform/qt/qt_runtime.h"
#include "platform/unix/unix_address.h"

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

using main_window::ShapedForm;
namespace fs = std::filesystem;

constexpr std::int64_t kMs = 1'000'000, kSecond = 1000 * kMs, kHour = 3600 * kSecond;

// Runs the event loop until `done` holds or `limitMs` pass; whether it held.
bool RunUntil(const std::function<bool()>& done, int limitMs = 5000) {
  const QDeadlineTimer deadline(limitMs);
  QTimer wake;
  wake.start(1);  // back to the check at least every millisecond
  while (!done() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return done();
}

// Delivers what is waiting, without waiting for more.
void Drain() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// A tick due at once beats an earlier repaint; none after a stop or a restart for later.
TEST(FormTimer, ATickDueAtOnceComesFirstAndNoneAfterAStopOrARestart) {
  qt_backend::SystemClock clock;
  std::string log;  // t: a tick, r: an event posted before it, as a repaint is
  qt_backend::FormTimer timer(
      clock, [&] { log += "t"; }, nullptr);
  QMetaObject::invokeMethod(
      qApp, [&] { log += "r"; }, Qt::QueuedConnection);
  timer.start(0, clock.Now());
  Drain();
  timer.start(0, clock.Now());
  timer.stop();
  Drain();
  timer.start(0, clock.Now());
  timer.start(30, clock.Now());
  Drain();
  EXPECT_EQ(log, "tr");
  RunUntil([] { return false; }, 100);
  EXPECT_EQ(log, "trt");  // the one started for later, once
}

// The system's time moved by an offset, in the system's zone (the test's $TZ); a step is told
// through the system clock's own watch.
struct SteppedClock : qt_backend::Clock {
  explicit SteppedClock(std::int64_t at) : offset(at - system.Now()) {
    system.OnStep([this] { Stepped(); });
  }
  std::int64_t Now() override { return system.Now() + offset; }
  forms::TimeOfDay LocalTime(std::int64_t ns) override { return system.LocalTime(ns); }
  std::int64_t SystemInstant(std::int64_t ns) override { return ns - offset; }
  void Step(std::int64_t by) {
    const itimerspec past = {{0, 0}, {0, 1}};
    offset += by, stepTold = true;
    timerfd_settime(watchFd, TFD_TIMER_ABSTIME, &past, nullptr);
  }
  qt_backend::SystemClock system;
  std::int64_t offset;
};

// After a step the clock shows the new time at once; else the next second in the (new) zone,
// with the locale's separator, at the next tick; then the next tick is due at a second's start.
TEST(Clock, FollowsStepsZonesAndLocalesAndTheTypedSecondMatchesAsShown) {
  struct Case {
    std::string name;
    std::int64_t start;  // the time of day when the program starts
    std::int64_t step;   // 0: none, the clock runs over the next second
    std::string shown;
    bool hangsUp;
    std::string typed = "10:00:00";
    const char *zone = "UTC", *newZone = nullptr, *locale = nullptr;
  };
  // 3 June 2024, 10:00 UTC. In Belgrade on 27 October 2024 03:00 CEST becomes
  // 02:00 CET at 01:00 UTC; on 31 March 2024 02:00 CET becomes 03:00 CEST.
  const std::int64_t ten = (1717372800 + 36000) * kSecond, autumn = 1729990800 * kSecond,
                     spring = 1711846800 * kSecond;
  std::vector<Case> cases = {
      {"forward into the typed second", ten - 600 * kMs, kSecond, "10:00:00", true},
      {"back into it", ten + 1400 * kMs, -kSecond, "10:00:00", true},
      {"forward over it", ten - 600 * kMs, kHour, "10:59:59", false},
      {"back out of it", ten + 400 * kMs, -kHour, "09:00:00", false},
      {"resumed 29 h later in it", ten + 300 * kMs - 29 * kHour, 29 * kHour, "10:00:00", true},
      {"a new zone, 9 h ahead", ten + 200 * kMs, 0, "19:00:01", true, "19:00:01", "UTC",
       "Asia/Tokyo"},
      {"autumn, second pass", autumn + kHour / 2 - 500 * kMs, 0, "02:30:00", true, "02:30:00",
       "Europe/Belgrade"},
      {"spring, the hour left out", spring - 500 * kMs, 0, "03:00:00", false, "02:00:00",
       "Europe/Belgrade"},
  };
  // The locale's time format (fi_FI: %H.%M.%S) names the separator; over midnight.
  cases.push_back({"fi_FI at midnight", ten - 10 * kHour - 100 * kMs, 0, "00.00.00", false, "",
                   "UTC", nullptr, "fi_FI.UTF-8"});
  // Texts that only look like the clock's, and a megabyte that begins with it.
  for (const std::string& typed : std::initializer_list<std::string>{
           "10:00:00\u0301", "\u200f10:00:00", "\u202e10:00:00\u202c", "10\a:00:00", "10:00:00\xff",
           "10\uff1a00\uff1a00", "10:00:00" + std::string(1 << 20, '0')})
    cases.push_back({typed.substr(0, 16), ten - 100 * kMs, 0, "10:00:00", false, typed});
  const fs::path dir = fs::temp_directory_path() / ("prekidnik-clock-" + std::to_string(getpid()));
  // Replaces the zone file, as `timedatectl set-timezone` replaces its link.
  auto useZone = [&](const std::string& name) {
    fs::copy_file("/usr/share/zoneinfo/" + name, dir / "new");
    fs::rename(dir / "new", dir / "zone");
  };
  fake::WindowSystem windows;
  fake::AddressSource winsock;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    struct Restore {  // last to go: the same $TZ is read again only after another
      ~Restore() { unsetenv("TZ"), unsetenv("LC_ALL"), tzset(), fs::remove_all(dir); }
      const fs::path& dir;
    } restore{dir};
    fs::create_directories(dir);
    useZone(c.zone);
    setenv("TZ", (dir / "zone").c_str(), 1);
    if (c.locale) setenv("LC_ALL", c.locale, 1);
    fake::Ras() = {{{Module1::HRASCONN{}, "Modem"}}, {}};
    SteppedClock clock(c.start);
    qt_backend::Runtime runtime(&clock);
    ShapedForm form(runtime, windows, winsock);
    auto label = [&] { return runtime.Text(form, ShapedForm::lblTime); };
    runtime.Show(form);
    const auto* timer1 = runtime.Loaded(form)->TimerControl(ShapedForm::Timer1);
    runtime.SetText(form, ShapedForm::Text1, c.typed);
    ASSERT_TRUE(RunUntil([&] { return label() != "VREME"; }));
    const std::int64_t next = timer1->due();
    if (c.step != 0) clock.Step(c.step);
    if (c.newZone) useZone(c.newZone);
    Drain();  // what the step made due at once, and nothing that waits
    EXPECT_TRUE(RunUntil([&] { return label() == c.shown; }, c.step == 0 ? 2000 : 0)) << label();
    EXPECT_TRUE(c.step != 0 || timer1->lastDue() == next) << timer1->lastDue() - next;
    const std::int64_t now = clock.Now(), due = timer1->due();
    EXPECT_TRUE(due % kSecond == 0 && due > now && due - now <= kSecond) << due - now;
    const std::size_t before = fake::Ras().hangUps.size();  // from the new time on
    RunUntil([] { return false; }, 50);
    EXPECT_EQ(fake::Ras().hangUps.size() > before, c.hangsUp);
  }
}

// Each control shows its design caption; the clock's digits stand 32 pixels high at 96 dpi, in
// proportion at the screen's (QtLook120 runs this at 120); IP Adresa shows an address of this
// machine's, the loopback only on a machine without another; Minimizuj! minimises the window,
// which stays so while the clock runs on.
TEST(QtLook, CaptionsClockDigitsAddressAndMinimising) {
  qt_backend::Runtime runtime;
  fake::WindowSystem windows;
  unix_address::AddressSource winsock;
  ShapedForm form(runtime, windows, winsock);
  runtime.Show(form);
  for (const auto& c : ShapedForm::kDesign.controls)
    EXPECT_TRUE(!runtime.Loaded(form)->Control(c.id) ||
                runtime.Text(form, c.id) == forms::ShownCaption(c.caption, c.wordWrap))
        << c.name << ": " << runtime.Text(form, c.id);
  const QFontMetrics digits(runtime.Loaded(form)->Control(ShapedForm::lblTime)->font());
  const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
  EXPECT_NEAR(digits.tightBoundingRect("10:00:00").height(), 32 * dpi / 96, 4 * dpi / 96) << dpi;
  std::set<std::string> own;  // `hostname -I`: every address but the loopback
  FILE* pipe = popen("hostname -I", "r");
  for (char a[64]; pipe && fscanf(pipe, "%63s", a) == 1;) own.insert(a);
  if (pipe) pclose(pipe);
  form.Click(ShapedForm::Command5);
  const std::string shown = runtime.Text(form, ShapedForm::Label2);
  EXPECT_TRUE(own.empty() ? shown == "127.0.0.1" : own.count(shown) == 1) << shown;
  form.Click(ShapedForm::Command4);
  const auto clock = [&] { return runtime.Text(form, ShapedForm::lblTime); };
  ASSERT_TRUE(RunUntil([&] { return clock() != "VREME"; }));
  const std::string second = clock();
  EXPECT_TRUE(RunUntil([&] { return clock() != second; }, 1500));
  EXPECT_TRUE(runtime.Loaded(form)->isMinimized());
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);  // as the program: sizes follow the screen's dpi
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
