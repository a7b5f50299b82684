// The Qt tests' main: one offscreen QApplication for every test, and the event loop's helpers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>

#include "tests/qt/event_loop.h"

bool qt_test::RunUntil(const std::function<bool()>& done, int limitMs) {
  const QDeadlineTimer deadline(limitMs);
  QTimer wake;
  wake.start(1);  // back to the check at least every millisecond
  while (!done() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return done();
}

void qt_test::Drain() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);  // as the program: sizes follow the screen's dpi
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
