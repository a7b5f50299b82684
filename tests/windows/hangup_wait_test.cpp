// The wait for hung-up connections as the program ends (platform/win32/hangup_wait.cpp): which
// requests it remembers, and how it asks after each connection until it is gone or the time is up.
// A program that ends at once after RasHangUp may leave the port in a bad state; one that waits
// for ever does not end. On made-up instants and a made-up Remote Access: no time passes.
#include "platform/win32/hangup_wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <ostream>
#include <vector>

#include "platform/ras.h"
#include "tests/named_rows.h"

namespace {

using named_rows::PrintTo;

using std::chrono::milliseconds;
using namespace std::chrono_literals;

const win32::Clock::time_point t0 = win32::Clock::time_point() + std::chrono::hours(1);

Module1::HRASCONN H(std::uintptr_t n) { return reinterpret_cast<Module1::HRASCONN>(n); }

// Connections 1, 2 and 3 asked to hang up at 0, 1, 2 s, and 2 again at 2.5 s.
class HangUpRequests : public ::testing::Test {
 protected:
  HangUpRequests() {
    requests.Add(H(1), t0);
    requests.Add(H(2), t0 + 1000ms);
    requests.Add(H(3), t0 + 2000ms);
    requests.Add(H(2), t0 + 2500ms);
  }
  win32::HangUpRequests requests;
};

TEST_F(HangUpRequests, SinceNamesEachConnectionOnceInTheOrderFirstAsked) {
  EXPECT_EQ(requests.Since(t0), (std::vector{H(1), H(2), H(3)}));
}

TEST_F(HangUpRequests, SinceLeavesOutThoseAskedOnlyBefore) {
  EXPECT_EQ(requests.Since(t0 + 500ms), (std::vector{H(2), H(3)}));
}

// 2 stays: asked again at 2.5 s. (A Since after it goes: a stale time fails this one.)
TEST_F(HangUpRequests, ForgetKeepsOnlyThoseAskedSince) {
  requests.Forget(t0 + 2200ms);
  EXPECT_EQ(requests.Since(t0), std::vector{H(2)});
}

// The schedule asks a thousand times a second: Add forgets what the end would never wait for.
TEST_F(HangUpRequests, AddForgetsThoseOlderThanTheEndWaitsFor) {
  requests.Add(H(4), t0 + 9000ms);
  EXPECT_EQ(requests.Since(t0), std::vector{H(4)});
}

// Connections 1 and 2, gone at `gone1` and `gone2` ms, asked after on a clock only the waiting
// moves, until the deadline at 2995 ms.
struct Closing {
  const char* name;
  int gone1, gone2;
  std::uint32_t stillThere;  // the status of one not gone yet
  std::vector<Module1::HRASCONN> left;
  int endsAt, asked1, asked2;
};

constexpr int kPoll = win32::kHangUpPollInterval.count();
using Handles = std::vector<Module1::HRASCONN>;

// Only ERROR_INVALID_HANDLE means gone: the first row's other error keeps each connection asked
// after. (Both gone at once goes: a sleep before the first ask, or one a round erased, fails
// these.)
const Closing kClosings[] = {
    // name, gone1, gone2, stillThere, left, endsAt, asked1, asked2
    {"BothGoneBeforeTheDeadline", 100, 400, platform::kRasInvalidSize, Handles{}, 400,
     100 / kPoll + 1, 400 / kPoll + 1},
    // The last poll comes short, at the deadline itself; none after it.
    {"OneNeverGoes", 60'000, 10, platform::kRasSuccess, Handles{H(1)}, 2995, 2995 / kPoll + 2, 2},
};

class WaitUntilGone : public ::testing::TestWithParam<Closing> {
 protected:
  void SetUp() override {
    const Closing& c = GetParam();
    const auto status = [&](Module1::HRASCONN h) {
      ++asked[h];
      const int gone = h == H(1) ? c.gone1 : c.gone2;
      return now >= t0 + milliseconds(gone) ? platform::kRasInvalidHandle : c.stillThere;
    };
    left = win32::WaitUntilGone({H(1), H(2)}, t0 + 2995ms,
                                {status, [&] { return now; }, [&](milliseconds ms) { now += ms; }});
  }
  win32::Clock::time_point now = t0;
  std::map<Module1::HRASCONN, int> asked;
  std::vector<Module1::HRASCONN> left;
};

TEST_P(WaitUntilGone, ReturnsThoseNotSeenGone) { EXPECT_EQ(left, GetParam().left); }

TEST_P(WaitUntilGone, EndsOnceAllAreGoneOrAtTheDeadline) {
  EXPECT_EQ((now - t0) / 1ms, GetParam().endsAt);
}

TEST_P(WaitUntilGone, AsksAfterEachEveryPollUntilItIsGone) {
  EXPECT_EQ(asked[H(1)], GetParam().asked1);
  EXPECT_EQ(asked[H(2)], GetParam().asked2);
}

INSTANTIATE_TEST_SUITE_P(Closings, WaitUntilGone, ::testing::ValuesIn(kClosings),
                         named_rows::ByName());

}  // namespace
