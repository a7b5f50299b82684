// The Qt tests' event loop: run it until something holds, or only deliver
// what is waiting. One main for every Qt test, on the offscreen platform.
#pragma once

#include <functional>

namespace qt_test {

// Runs the event loop until `done` holds or `limitMs` pass; whether it held.
bool RunUntil(const std::function<bool()>& done, int limitMs = 5000);
// Delivers every event already waiting, without waiting for more.
void Drain();

}  // namespace qt_test
