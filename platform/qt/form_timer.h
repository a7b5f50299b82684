// A form's timer on Linux: a timerfd that the event loop watches, armed to
// the nanosecond on the monotonic clock.
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

#include <QObject>
#include <cstdint>
#include <functional>

class QSocketNotifier;

namespace qt_backend {

class FormTimer : public QObject {
 public:
  FormTimer(std::function<void()> onTick, QObject* parent);
  ~FormTimer() override;

  // The monotonic clock, in nanoseconds.
  static std::int64_t Now();

  // Ticks once, `ms` milliseconds after the instant `from` (of Now()), or at
  // once when that instant has passed.
  void start(int ms, std::int64_t from);
  void stop();
  bool isActive() const { return due_ >= 0; }
  // The instant the last tick was due; -1 before the first.
  std::int64_t lastDue() const { return lastDue_; }
  // Milliseconds until the tick, rounded up; -1 when not active.
  int remainingTime() const;

 protected:
  bool event(QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;  // only where no timerfd could be had

 private:
  void Tick();

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
