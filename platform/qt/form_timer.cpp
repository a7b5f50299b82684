#include "platform/qt/form_timer.h"

#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace qt_backend {

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;
constexpr std::int64_t kNsPerSecond = 1'000'000'000;

// A tick due at once, posted to the timer.
class TickEvent : public QEvent {
 public:
  static QEvent::Type Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  explicit TickEvent(std::uint64_t armed) : QEvent(Type()), armed(armed) {}
  const std::uint64_t armed;
};

// The file the C library reads the local zone from: $TZ's when it names one
// (an absolute path, or a name under $TZDIR), else /etc/localtime; empty
// when $TZ is empty (UTC) or a rule rather than a file.
std::string ZoneFilePath() {
  const char* tz = std::getenv("TZ");
  if (tz == nullptr) return "/etc/localtime";
  if (*tz == ':') ++tz;
  if (*tz == '\0') return {};
  if (*tz == '/') return tz;
  const char* dir = std::getenv("TZDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/usr/share/zoneinfo") + "/" + tz;
}

}  // namespace

// --------------------------------------------------------------- SystemClock

SystemClock::SystemClock(QObject* parent) : QObject(parent), zonePath_(ZoneFilePath()) {
  watchFd_ = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
  if (watchFd_ < 0) return;
  ArmWatch();
  watch_ = new QSocketNotifier(watchFd_, QSocketNotifier::Read, this);
  connect(watch_, &QSocketNotifier::activated, this, [this] {
    std::uint64_t expirations = 0;
    const bool stepped =
        ::read(watchFd_, &expirations, sizeof expirations) < 0 && errno == ECANCELED;
    ArmWatch();
    if (stepped) Stepped();
  });
}

SystemClock::~SystemClock() {
  delete watch_;
  if (watchFd_ >= 0) ::close(watchFd_);
}

void SystemClock::ArmWatch() {
  // Never due in practice (a year ahead, armed again if it ever comes): it
  // is there to be cancelled.
  itimerspec setting = {};
  clock_gettime(CLOCK_REALTIME, &setting.it_value);
  setting.it_value.tv_sec += 365 * 24 * 3600;
  timerfd_settime(watchFd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &setting, nullptr);
}

std::int64_t SystemClock::Now() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec * kNsPerSecond + now.tv_nsec;
}

void SystemClock::CheckZone() {
  // localtime_r() reads the zone once; tzset() reads it again when $TZ
  // changed or, with $TZ unset, when /etc/localtime did, but not when the
  // file $TZ names is replaced. One stat() tells, a microsecond twice a
  // second.
  ZoneFile now;
  struct stat info;
  if (!zonePath_.empty() && ::stat(zonePath_.c_str(), &info) == 0) {
    now = {true,
           info.st_dev,
           info.st_ino,
           info.st_size,
           info.st_mtim.tv_sec * kNsPerSecond + info.st_mtim.tv_nsec,
           info.st_ctim.tv_sec * kNsPerSecond + info.st_ctim.tv_nsec};
  }
  if (zoneRead_ && now == zone_) return;
  const bool reread = zoneRead_;
  zone_ = now;
  zoneRead_ = true;
  if (const char* tz = std::getenv("TZ"); tz != nullptr && reread) {
    // The same $TZ would be taken as the same zone: pass through another.
    const std::string value = tz;
    setenv("TZ", "UTC0", 1);
    tzset();
    setenv("TZ", value.c_str(), 1);
  }
  tzset();
}

forms::TimeOfDay SystemClock::LocalTime(std::int64_t ns) {
  CheckZone();
  const time_t seconds = static_cast<time_t>(ns / kNsPerSecond);
  tm local = {};
  localtime_r(&seconds, &local);
  return {local.tm_hour, local.tm_min, local.tm_sec,
          static_cast<int>(ns % kNsPerSecond / kNsPerMs)};
}

// ----------------------------------------------------------------- FormTimer

FormTimer::FormTimer(Clock& clock, std::function<void()> onTick, QObject* parent)
    : QObject(parent), clock_(clock), onTick_(std::move(onTick)) {
  fd_ = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd_ >= 0) {
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
      std::uint64_t expirations = 0;
      if (::read(fd_, &expirations, sizeof expirations) == sizeof expirations && isActive()) Tick();
    });
  }
}

FormTimer::~FormTimer() {
  delete notifier_;
  if (fd_ >= 0) ::close(fd_);
}

void FormTimer::start(int ms, std::int64_t from) {
  ++armed_;
  const std::int64_t now = clock_.Now();
  const std::int64_t due = std::max(from + std::int64_t{ms < 0 ? 0 : ms} * kNsPerMs, now);
  const bool posted = due == now && !ticking_;
  // Arming the timerfd again replaces its setting and forgets a tick that
  // came due: it is disarmed first only when not armed again (one system
  // call less a second).
  if (posted || fd_ < 0) stop();
  due_ = due;
  if (posted) {
    // The next event, before any of lower priority such as a repaint.
    QCoreApplication::postEvent(this, new TickEvent(armed_), Qt::HighEventPriority);
  } else if (fd_ >= 0) {
    const std::int64_t at = clock_.SystemInstant(due_);
    itimerspec setting = {};
    setting.it_value.tv_sec = static_cast<time_t>(at / kNsPerSecond);
    setting.it_value.tv_nsec = static_cast<long>(at % kNsPerSecond);
    timerfd_settime(fd_, TFD_TIMER_ABSTIME, &setting, nullptr);
  } else {
    fallbackId_ =
        startTimer(static_cast<int>((due_ - now + kNsPerMs - 1) / kNsPerMs), Qt::PreciseTimer);
  }
}

void FormTimer::stop() {
  due_ = -1;
  if (fd_ >= 0) {
    const itimerspec off = {};
    timerfd_settime(fd_, 0, &off, nullptr);  // also forgets a tick that came due
  }
  if (fallbackId_ != 0) {
    killTimer(fallbackId_);
    fallbackId_ = 0;
  }
}

int FormTimer::remainingTime() const {
  if (due_ < 0) return -1;
  const std::int64_t left = due_ - clock_.Now();
  return left > 0 ? static_cast<int>((left + kNsPerMs - 1) / kNsPerMs) : 0;
}

bool FormTimer::event(QEvent* event) {
  if (event->type() != TickEvent::Type()) return QObject::event(event);
  if (static_cast<TickEvent*>(event)->armed == armed_ && isActive()) Tick();
  return true;
}

void FormTimer::timerEvent(QTimerEvent* event) {
  if (event->timerId() == fallbackId_) {
    killTimer(fallbackId_);
    fallbackId_ = 0;
    Tick();
  }
}

void FormTimer::Tick() {
  lastDue_ = due_;
  due_ = -1;
  ticking_ = true;
  onTick_();
  ticking_ = false;
}

}  // namespace qt_backend
