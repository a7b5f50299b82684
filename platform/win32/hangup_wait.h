// Waiting for hung-up connections before the program ends.
//
// RasHangUp returns before the connection is closed, and the Remote Access
// documentation warns that a program which exits at once may leave the port
// in a bad state. So the RAS layer remembers its hang-up requests, and when
// the program ends within a few seconds of one it waits until each of those
// connections is gone (RasGetConnectStatus answers ERROR_INVALID_HANDLE), for
// a few seconds at most.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "dialup/rasconna.h"
#include "platform/win32/monotonic_clock.h"

namespace win32 {

// How long after a hang-up request the connection may still be closing, and
// so the longest the program waits for it when it ends.
inline constexpr std::chrono::milliseconds kHangUpSettleTime{3000};
// How often a closing connection is asked about.
inline constexpr std::chrono::milliseconds kHangUpPollInterval{20};

class HangUpRequests {
 public:
  void Add(Module1::HRASCONN connection, Clock::time_point at);
  // The connections asked to hang up at `since` or later, each once, in the
  // order first asked.
  std::vector<Module1::HRASCONN> Since(Clock::time_point since) const;
  // Forgets the requests made before `before`.
  void Forget(Clock::time_point before);

 private:
  struct Request {
    Module1::HRASCONN connection;
    Clock::time_point at;
  };
  std::vector<Request> requests_;
};

struct ConnectionWatch {
  // The RasGetConnectStatus answer for a connection.
  std::function<std::uint32_t(Module1::HRASCONN)> status;
  std::function<Clock::time_point()> now;
  std::function<void(std::chrono::milliseconds)> sleep;
};

// Asks after each connection until it answers ERROR_INVALID_HANDLE (a
// connection once gone is not asked again), or until `deadline`. Returns the
// connections that were not seen gone.
std::vector<Module1::HRASCONN> WaitUntilGone(std::vector<Module1::HRASCONN> connections,
                                             Clock::time_point deadline,
                                             const ConnectionWatch& watch);

// The program's own requests, as the RAS layer records them.
HangUpRequests& RecordedHangUps();

// Called as the program ends: waits for the connections asked to hang up in
// the last kHangUpSettleTime, for kHangUpSettleTime at most.
void WaitForRecentHangUps();

}  // namespace win32
