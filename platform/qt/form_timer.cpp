#include "platform/qt/form_timer.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <algorithm>
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

}  // namespace

FormTimer::FormTimer(std::function<void()> onTick, QObject* parent)
    : QObject(parent), onTick_(std::move(onTick)) {
  fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
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

std::int64_t FormTimer::Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * kNsPerSecond + now.tv_nsec;
}

void FormTimer::start(int ms, std::int64_t from) {
  stop();
  ++armed_;
  const std::int64_t now = Now();
  due_ = std::max(from + std::int64_t{ms < 0 ? 0 : ms} * kNsPerMs, now);
  if (due_ == now && !ticking_) {
    // The next event, before any of lower priority such as a repaint.
    QCoreApplication::postEvent(this, new TickEvent(armed_), Qt::HighEventPriority);
  } else if (fd_ >= 0) {
    itimerspec setting = {};
    setting.it_value.tv_sec = static_cast<time_t>(due_ / kNsPerSecond);
    setting.it_value.tv_nsec = static_cast<long>(due_ % kNsPerSecond);
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
  const std::int64_t left = due_ - Now();
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
