// The form timers of the Qt runtime: when they tick, once, and in which order
// with the events around them.
#include "platform/qt/form_timer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/qt/qt_test_loop.h"

namespace {

using qt_test::Drain;
using qt_test::RunUntil;

using qt_backend::FormTimer;

qt_backend::SystemClock& Clock() {
  static qt_backend::SystemClock clock;
  return clock;
}

constexpr std::int64_t kMs = 1'000'000;

// Notes the events it receives, in order.
class Recorder : public QObject {
 public:
  explicit Recorder(std::vector<std::string>& log) : log_(log) {}
  static QEvent::Type Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() != Type()) return QObject::event(event);
    log_.push_back("low-priority event");
    return true;
  }

 private:
  std::vector<std::string>& log_;
};

TEST(FormTimer, TicksOnceNotBeforeItIsDue) {
  int ticks = 0;
  std::int64_t tickedAt = 0;
  FormTimer timer(
      Clock(),
      [&] {
        ++ticks;
        tickedAt = Clock().Now();
      },
      nullptr);
  const std::int64_t from = Clock().Now();
  timer.start(20, from);
  EXPECT_TRUE(timer.isActive());
  ASSERT_TRUE(RunUntil([&] { return ticks > 0; }));
  EXPECT_GE(tickedAt, from + 20 * kMs);
  EXPECT_EQ(timer.lastDue(), from + 20 * kMs);
  EXPECT_FALSE(timer.isActive());
  EXPECT_EQ(timer.remainingTime(), -1);
  RunUntil([] { return false; }, 50);  // a second tick would come by now
  EXPECT_EQ(ticks, 1);
}

TEST(FormTimer, CountsFromTheInstantItIsGivenNotFromNow) {
  FormTimer timer(
      Clock(), [] {}, nullptr);
  timer.start(10'000, Clock().Now() - 6'000 * kMs);
  const int left = timer.remainingTime();
  EXPECT_GT(left, 0);
  EXPECT_LE(left, 4'000);
}

TEST(FormTimer, StoppedBeforeItsDueTickIsDeliveredItDoesNotTick) {
  int ticks = 0;
  FormTimer timer(
      Clock(), [&] { ++ticks; }, nullptr);
  timer.start(0, Clock().Now() - 5 * kMs);  // due already: posted
  timer.stop();
  Drain();
  EXPECT_EQ(ticks, 0);

  timer.start(10, Clock().Now());  // due later: armed on the timerfd
  timer.stop();
  RunUntil([] { return false; }, 60);
  EXPECT_EQ(ticks, 0);
}

TEST(FormTimer, StartedAgainForLaterItForgetsTheTickDueBefore) {
  int ticks = 0;
  FormTimer timer(
      Clock(), [&] { ++ticks; }, nullptr);
  timer.start(0, Clock().Now());  // due at once: posted
  timer.start(200, Clock().Now());
  Drain();
  EXPECT_EQ(ticks, 0);
  EXPECT_TRUE(timer.isActive());
  ASSERT_TRUE(RunUntil([&] { return ticks > 0; }));
  RunUntil([] { return false; }, 30);
  EXPECT_EQ(ticks, 1);
}

TEST(FormTimer, ATickDueAtOnceComesBeforeALowPriorityEventPostedEarlier) {
  std::vector<std::string> log;
  Recorder recorder(log);
  FormTimer timer(
      Clock(), [&] { log.push_back("tick"); }, nullptr);
  // As the clock's handler does: the label asks for a repaint, then the
  // schedule's timer becomes due at once.
  QCoreApplication::postEvent(&recorder, new QEvent(Recorder::Type()), Qt::LowEventPriority);
  timer.start(0, Clock().Now());
  Drain();
  EXPECT_EQ(log, (std::vector<std::string>{"tick", "low-priority event"}));
}

TEST(FormTimer, RestartedLateFromItsOwnTickItTicksAgainAtOnce) {
  // A hang-up that took longer than the timer's delay: the next tick's
  // instant has passed when the handler arms it.
  int ticks = 0;
  FormTimer* self = nullptr;
  FormTimer timer(
      Clock(),
      [&] {
        if (++ticks < 3) self->start(1, self->lastDue() - 50 * kMs);
      },
      nullptr);
  self = &timer;
  timer.start(0, Clock().Now());
  EXPECT_TRUE(RunUntil([&] { return ticks == 3; }));
  RunUntil([] { return false; }, 30);
  EXPECT_EQ(ticks, 3);
}

}  // namespace
