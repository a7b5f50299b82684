// The Qt backend's form timer (platform/qt/form_timer.cpp) on the system clock: a tick due at
// once is posted ahead of what waits, so the schedule hangs up before the repaint of the time
// that made it due; and a stop or a restart voids the tick already posted.
#include "platform/qt/form_timer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <ostream>
#include <vector>

#include "tests/qt/event_loop.h"

namespace {

using qt_test::Drain;
using qt_test::RunUntil;

enum class Event { kTick, kPosted };

void PrintTo(Event e, std::ostream* os) { *os << (e == Event::kTick ? "tick" : "posted event"); }

class FormTimer : public ::testing::Test {
 protected:
  // An event posted to the loop, as a repaint is.
  void Post() {
    QMetaObject::invokeMethod(
        qApp, [this] { events.push_back(Event::kPosted); }, Qt::QueuedConnection);
  }

  qt_backend::SystemClock clock;
  std::vector<Event> events;
  qt_backend::FormTimer timer{clock, [this] { events.push_back(Event::kTick); }, nullptr};
};

TEST_F(FormTimer, ATickDueAtOnceComesBeforeAnEventPostedEarlier) {
  Post();
  timer.start(0, clock.Now());
  Drain();
  EXPECT_EQ(events, (std::vector{Event::kTick, Event::kPosted}));
}

TEST_F(FormTimer, NoTickComesAfterAStop) {
  timer.start(0, clock.Now());
  timer.stop();
  Drain();
  EXPECT_EQ(events, std::vector<Event>{});
}

// The restart is for a minute later: long after this test's end, whatever the machine's load.
TEST_F(FormTimer, ARestartForLaterVoidsTheTickDueAtOnce) {
  timer.start(0, clock.Now());
  timer.start(60'000, clock.Now());
  Drain();
  EXPECT_EQ(events, std::vector<Event>{});
}

// A form's timer ticks once for each start; the form's answer after the tick re-arms it.
TEST_F(FormTimer, TicksOnceForEachStart) {
  timer.start(30, clock.Now());
  ASSERT_TRUE(RunUntil([&] { return !events.empty(); }));
  RunUntil([] { return false; }, 100);  // a second tick of its own would be due by now
  EXPECT_EQ(events, std::vector{Event::kTick});
}

}  // namespace
