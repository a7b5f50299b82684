// A form's timer on Linux: a timerfd that the event loop watches, armed to
// the nanosecond at an instant of the time of day (CLOCK_REALTIME), so that
// a wait planned before a suspend ends at once on resume.
//
// A QTimer waits in poll(), whose timeout GLib rounds up to a whole
// millisecond and the kernel lets run late by a thousandth of the wait (a
// full millisecond on the clock's one-second wait); a timerfd is read when it
// is due. A tick that some other event made due at once is posted instead,
// ahead of the repaint that event asked for: the schedule's timer, due at
// once when the clock changes, hangs up before the new time is drawn. A
// timer's own next tick, late because its handler took longer than the
// delay, takes its turn with the other timers, so that the clock's tick at a
// new second comes first.
#pragma once

#include <sys/types.h>

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/forms.h"

class QSocketNotifier;

namespace qt_backend {

// The time of day, as the timers and the runtime read it, and the notice
// that it stepped.
class Clock {
 public:
  virtual ~Clock() = default;
  // Nanoseconds since the epoch.
  virtual std::int64_t Now() = 0;
  // The local time of day at the instant `ns` of Now(), in the zone in force.
  virtual forms::TimeOfDay LocalTime(std::int64_t ns) = 0;
  // The instant of the system's CLOCK_REALTIME at which Now() reaches `ns`.
  virtual std::int64_t SystemInstant(std::int64_t ns) { return ns; }
  // `handler` runs whenever the time of day steps (set by hand or by NTP,
  // or after a suspend), after the step.
  void OnStep(std::function<void()> handler) { onStep_ = std::move(handler); }

 protected:
  void Stepped() {
    if (onStep_) onStep_();
  }

 private:
  std::function<void()> onStep_;
};

// The system's time of day. A step is told by a timerfd on CLOCK_REALTIME
// armed with TFD_TIMER_CANCEL_ON_SET, which the kernel cancels whenever the
// clock is set. The zone is the C library's, read again as soon as its file
// ($TZ's, else /etc/localtime) is replaced or changed.
class SystemClock : public QObject, public Clock {
 public:
  explicit SystemClock(QObject* parent = nullptr);
  ~SystemClock() override;

  std::int64_t Now() override;
  forms::TimeOfDay LocalTime(std::int64_t ns) override;

 private:
  void ArmWatch();
  void CheckZone();

  int watchFd_ = -1;
  QSocketNotifier* watch_ = nullptr;
  std::string zonePath_;
  struct ZoneFile {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0, changed = 0;
    bool operator==(const ZoneFile&) const = default;
  } zone_;
  bool zoneRead_ = false;
};

class FormTimer : public QObject {
 public:
  FormTimer(Clock& clock, std::function<void()> onTick, QObject* parent);
  ~FormTimer() override;

  // Ticks once, `ms` milliseconds after the instant `from` (of the clock's
  // Now()), or at once when that instant has passed.
  void start(int ms, std::int64_t from);
  void stop();
  bool isActive() const { return due_ >= 0; }
  // The instant the next tick is due; -1 when not active.
  std::int64_t due() const { return due_; }
  // The instant the last tick was due; -1 before the first.
  std::int64_t lastDue() const { return lastDue_; }
  // Milliseconds until the tick, rounded up; -1 when not active.
  int remainingTime() const;

 protected:
  bool event(QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;  // only where no timerfd could be had

 private:
  void Tick();

  Clock& clock_;
  std::function<void()> onTick_;
  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  int fallbackId_ = 0;
  std::int64_t due_ = -1;
  std::int64_t lastDue_ = -1;
  std::uint64_t armed_ = 0;  // counts start() calls: a posted tick of an earlier one is void
  bool ticking_ = false;     // in the handler of this timer's tick
};

}  // namespace qt_backend
