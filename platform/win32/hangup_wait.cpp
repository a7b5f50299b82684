#include "platform/win32/hangup_wait.h"

#include <algorithm>

#include "platform/ras.h"

namespace win32 {

void HangUpRequests::Add(Module1::HRASCONN connection, Clock::time_point at) {
  // The schedule asks a thousand times a second: keep one entry for each
  // connection, with its latest time, and none older than could matter.
  Forget(at - kHangUpSettleTime);
  auto it = std::find_if(requests_.begin(), requests_.end(),
                         [&](const Request& r) { return r.connection == connection; });
  if (it != requests_.end())
    it->at = at;
  else
    requests_.push_back({connection, at});
}

std::vector<Module1::HRASCONN> HangUpRequests::Since(Clock::time_point since) const {
  std::vector<Module1::HRASCONN> connections;
  for (const Request& r : requests_) {
    if (r.at < since) continue;
    if (std::find(connections.begin(), connections.end(), r.connection) == connections.end())
      connections.push_back(r.connection);
  }
  return connections;
}

void HangUpRequests::Forget(Clock::time_point before) {
  std::erase_if(requests_, [before](const Request& r) { return r.at < before; });
}

std::vector<Module1::HRASCONN> WaitUntilGone(std::vector<Module1::HRASCONN> connections,
                                             Clock::time_point deadline,
                                             const ConnectionWatch& watch) {
  for (;;) {
    std::erase_if(connections, [&](Module1::HRASCONN c) {
      return watch.status(c) == platform::kRasInvalidHandle;
    });
    if (connections.empty()) return connections;
    const Clock::time_point now = watch.now();
    if (now >= deadline) return connections;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    watch.sleep(std::min(left, kHangUpPollInterval));
  }
}

}  // namespace win32
