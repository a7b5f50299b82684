// Waiting, as the program ends, for the connections it asked to hang up.
#include "platform/win32/hangup_wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "platform/ras.h"

namespace {

using std::chrono::milliseconds;
using win32::Clock;

Module1::HRASCONN Handle(std::uintptr_t n) { return reinterpret_cast<Module1::HRASCONN>(n); }

const Clock::time_point t0 = Clock::time_point() + std::chrono::hours(1);

// A service whose connections close at given times, on a clock that only
// the waiting moves.
struct ClosingConnections {
  Clock::time_point now = t0;
  std::map<Module1::HRASCONN, Clock::time_point> goneAt;
  std::vector<Module1::HRASCONN> asked;
  std::uint32_t stillThere = platform::kRasSuccess;

  win32::ConnectionWatch Watch() {
    return {[this](Module1::HRASCONN c) {
              asked.push_back(c);
              auto it = goneAt.find(c);
              return it == goneAt.end() || now >= it->second ? platform::kRasInvalidHandle
                                                             : stillThere;
            },
            [this] { return now; }, [this](milliseconds ms) { now += ms; }};
  }
};

TEST(HangUpRequests, CountEachConnectionOnceInTheOrderFirstAskedAndForgetTheOld) {
  win32::HangUpRequests requests;
  requests.Add(Handle(1), t0);
  requests.Add(Handle(2), t0 + milliseconds(1000));
  requests.Add(Handle(3), t0 + milliseconds(2000));
  requests.Add(Handle(2), t0 + milliseconds(2500));
  EXPECT_EQ(requests.Since(t0 + milliseconds(500)), (std::vector{Handle(2), Handle(3)}));
  EXPECT_EQ(requests.Since(t0), (std::vector{Handle(1), Handle(2), Handle(3)}));
  requests.Forget(t0 + milliseconds(2200));
  EXPECT_EQ(requests.Since(t0), (std::vector{Handle(2)}));
  // A second of requests every millisecond keeps one entry, and Add forgets
  // what is older than anything the end of the program waits for.
  for (int ms = 0; ms < 1000; ++ms) requests.Add(Handle(4), t0 + milliseconds(9000 + ms));
  EXPECT_EQ(requests.Since(t0), (std::vector{Handle(4)}));
  EXPECT_EQ(requests.Since(t0 + milliseconds(9999)), (std::vector{Handle(4)}));
}

TEST(WaitUntilGone, EndsAsSoonAsEveryConnectionIsGoneAndDropsEachOnceGone) {
  ClosingConnections ras;
  ras.goneAt = {{Handle(1), t0 + milliseconds(100)}, {Handle(2), t0 + milliseconds(400)}};
  const auto left =
      win32::WaitUntilGone({Handle(1), Handle(2)}, t0 + win32::kHangUpSettleTime, ras.Watch());
  EXPECT_TRUE(left.empty());
  EXPECT_GE(ras.now, t0 + milliseconds(400));
  EXPECT_LT(ras.now, t0 + milliseconds(400) + win32::kHangUpPollInterval);
  const auto askedAbout = [&](std::uintptr_t n) {
    return std::count(ras.asked.begin(), ras.asked.end(), Handle(n));
  };
  EXPECT_EQ(askedAbout(1), 100 / win32::kHangUpPollInterval.count() + 1);
  EXPECT_GT(askedAbout(2), askedAbout(1));
}

TEST(WaitUntilGone, GivesUpAtTheDeadlineAndNamesWhatIsLeft) {
  ClosingConnections ras;
  ras.goneAt = {{Handle(1), t0 + milliseconds(60000)}, {Handle(2), t0 + milliseconds(10)}};
  const auto left =
      win32::WaitUntilGone({Handle(1), Handle(2)}, t0 + milliseconds(3000), ras.Watch());
  EXPECT_EQ(left, std::vector{Handle(1)});
  EXPECT_EQ(ras.now, t0 + milliseconds(3000));  // not a poll interval more
}

TEST(WaitUntilGone, OnlyInvalidHandleMeansGoneAndWhatIsGoneAlreadyIsAskedOnce) {
  ClosingConnections ras;
  ras.goneAt = {{Handle(1), t0 + milliseconds(200)}};
  ras.stillThere = platform::kRasInvalidSize;  // an error, but not "no such connection"
  EXPECT_TRUE(win32::WaitUntilGone({Handle(1)}, t0 + milliseconds(3000), ras.Watch()).empty());
  EXPECT_GE(ras.now, t0 + milliseconds(200));

  ClosingConnections gone;
  EXPECT_TRUE(win32::WaitUntilGone({Handle(5)}, t0 + milliseconds(3000), gone.Watch()).empty());
  EXPECT_EQ(gone.now, t0);
  EXPECT_EQ(gone.asked, std::vector{Handle(5)});
}

}  // namespace
