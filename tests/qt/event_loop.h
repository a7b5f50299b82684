// Running the Qt event loop from a test, for the Qt backend's tests.
#pragma once

#include <functional>

namespace qt_test {

// Runs the event loop until `done` holds or `limitMs` pass; whether it held. A limit is a bound for
// a condition that should come, never a sleep: the wait ends as soon as `done` holds.
bool RunUntil(const std::function<bool()>& done, int limitMs = 5000);

// Delivers what is waiting, without waiting for more.
void Drain();

}  // namespace qt_test
