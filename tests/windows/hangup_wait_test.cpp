// Waiting, as the program ends, for the connections it asked to hang up.
#include "platform/win32/hangup_wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "platform/ras.h"

namespace {

using std::chrono::milliseconds;

Module1::HRASCONN H(std::uintptr_t n) { return reinterpret_cast<Module1::HRASCONN>(n); }

constexpr int kPoll = win32::kHangUpPollInterval.count();
const win32::Clock::time_point t0 = win32::Clock::time_point() + std::chrono::hours(1);

TEST(HangUpRequests, CountEachConnectionOnceInTheOrderFirstAskedAndForgetTheOld) {
  win32::HangUpRequests requests;
  requests.Add(H(1), t0);
  requests.Add(H(2), t0 + milliseconds(1000));
  requests.Add(H(3), t0 + milliseconds(2000));
  requests.Add(H(2), t0 + milliseconds(2500));
  EXPECT_EQ(requests.Since(t0 + milliseconds(500)), (std::vector{H(2), H(3)}));
  EXPECT_EQ(requests.Since(t0), (std::vector{H(1), H(2), H(3)}));
  requests.Forget(t0 + milliseconds(2200));
  EXPECT_EQ(requests.Since(t0), (std::vector{H(2)}));
  // Add forgets what is older than anything the end of the program waits for.
  for (int ms = 0; ms < 1000; ++ms) requests.Add(H(4), t0 + milliseconds(9000 + ms));
  EXPECT_EQ(requests.Since(t0), (std::vector{H(4)}));
  EXPECT_EQ(requests.Since(t0 + milliseconds(9999)), (std::vector{H(4)}));
}

// Connections 1 and 2, gone at `gone1` and `gone2` ms (0: unknown to the
// service), asked about on a clock that only the waiting moves, until the
// deadline: what is left, when the wait ends, how often each was asked.
TEST(WaitUntilGone, EndsOnceAllAreGoneOrAtTheDeadlineAndOnlyInvalidHandleMeansGone) {
  const struct {
    int gone1, gone2, deadline;
    std::uint32_t stillThere;  // the status of one not gone yet
    std::vector<Module1::HRASCONN> left;
    int endsAt, asked1, asked2;
  } cases[] = {
      {100, 400, 3000, platform::kRasSuccess, {}, 400, 100 / kPoll + 1, 400 / kPoll + 1},
      {60000, 10, 3000, platform::kRasSuccess, {H(1)}, 3000, 3000 / kPoll + 1, 2},  // no poll more
      {200, 200, 3000, platform::kRasInvalidSize, {}, 200, 200 / kPoll + 1, 200 / kPoll + 1},
      {0, 0, 3000, platform::kRasSuccess, {}, 0, 1, 1},
  };
  for (const auto& c : cases) {
    auto now = t0;
    std::map<Module1::HRASCONN, int> asked;
    const auto status = [&](Module1::HRASCONN h) {
      ++asked[h];
      const int gone = h == H(1) ? c.gone1 : c.gone2;
      return now >= t0 + milliseconds(gone) ? platform::kRasInvalidHandle : c.stillThere;
    };
    const auto left =
        win32::WaitUntilGone({H(1), H(2)}, t0 + milliseconds(c.deadline),
                             {status, [&] { return now; }, [&](milliseconds ms) { now += ms; }});
    EXPECT_EQ(left, c.left) << c.gone1;
    EXPECT_EQ(now, t0 + milliseconds(c.endsAt)) << c.gone1;
    EXPECT_EQ(std::vector({asked[H(1)], asked[H(2)]}), std::vector({c.asked1, c.asked2}))
        << c.gone1;
  }
}

}  // namespace
