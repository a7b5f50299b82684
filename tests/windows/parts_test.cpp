// The Win32 backend's parts that need no window: fonts, the forms' timers as due times, the
// wait for hang-ups as the program ends, the address as Winsock reads it, and the hang-up
// routine against the faults of the test rasapi32.dll, which sits beside this program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "dialup/module1.h"
#include "platform/ras.h"
#include "platform/win32/fonts.h"
#include "platform/win32/form_timers.h"
#include "platform/win32/hangup_wait.h"
#include "platform/win32/win32_address.h"

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

const win32::Clock::time_point t0 = win32::Clock::time_point() + std::chrono::hours(1);

int CALLBACK TakeFirst(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM face) {
  *reinterpret_cast<std::string*>(face) = font->lfFaceName;
  return 0;
}

TEST(Fonts, InstalledFacesByNameMissingOnesByStandInOrFamilyAndHeightsAtTheDpi) {
  const struct {
    const char* design;
    std::set<std::string, std::less<>> installed;
    const char* face;
    int family;  // when it matters: no face is installed
  } faces[] = {
      {"MS Sans Serif", {"MS Sans Serif"}, "MS Sans Serif", -1},
      {"TimesRomanBold", {"TimesRomanBold"}, "TimesRomanBold", -1},
      {"TimesRomanBold", {"Times New Roman"}, "Times New Roman", FF_ROMAN},
      {"TimesRomanBold", {"Arial"}, "", FF_ROMAN},
      {"MS Sans Serif", {"Microsoft Sans Serif"}, "Microsoft Sans Serif", -1},
      {"MS Sans Serif", {}, "", FF_SWISS},
      {"Comic Sans MS", {}, "Comic Sans MS", -1},  // left to the font mapper
  };
  for (const auto& f : faces) {
    const auto chosen =
        win32::ChooseFace(f.design, [&](std::string_view face) { return f.installed.count(face); });
    EXPECT_EQ(chosen.face, f.face) << f.design;
    EXPECT_EQ(f.family < 0 ? -1 : chosen.pitchAndFamily & 0xF0, f.family) << f.design;
  }
  const struct {
    double points;
    int dpi, height;
  } heights[] = {{36, 96, -48}, {13.5, 96, -18}, {9.75, 96, -13},
                 {8, 96, -11},  {36, 120, -60},  {13.5, 120, -23}};  // 22.5 rounds away from zero
  for (const auto& h : heights) EXPECT_EQ(win32::FontHeight(h.points, h.dpi), h.height) << h.points;
  // Any face the system lists is installed; no such face is not.
  LOGFONTA all = {};
  all.lfCharSet = DEFAULT_CHARSET;
  std::string listed;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExA(screen, &all, TakeFirst, reinterpret_cast<LPARAM>(&listed), 0);
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(!listed.empty() && win32::FontInstalled(listed)) << listed;
  EXPECT_FALSE(win32::FontInstalled("No Such Face Prekidnik"));
}

TEST(FormTimers, RemainingTimeRoundsUpTheLoopWaitsForTheEarliestActiveAndTheLongestDueRuns) {
  win32::FormTimers timers;
  timers.Add(1);
  timers.Add(2);
  win32::Clock::time_point due;
  EXPECT_FALSE(timers.NextDue(due));
  EXPECT_EQ(timers.RemainingMs(1, t0), 0);  // never started
  timers.Start(1, 30, t0);
  timers.Start(2, 20, t0);
  timers.Stop(2);
  EXPECT_EQ(timers.RemainingMs(2, t0), 0);
  ASSERT_TRUE(timers.NextDue(due));
  EXPECT_EQ(due, t0 + milliseconds(30));
  const struct {
    int at;  // microseconds
    int remaining;
    unsigned wait, cap;  // the loop's wait, at most `cap`
  } cases[] = {{0, 30, 25, 25},
               {500, 30, 30, 1000},
               {29001, 1, 1, 1000},  // 0.999 ms left: 1, not 0
               {30000, 0, 0, 1000},
               {50000, 0, 0, 1000}};
  for (const auto& c : cases) {
    EXPECT_EQ(timers.RemainingMs(1, t0 + microseconds(c.at)), c.remaining) << c.at;
    EXPECT_EQ(win32::WaitMilliseconds(due, t0 + microseconds(c.at), c.cap), c.wait) << c.at;
  }
  // The longest due runs first, then design order, and is taken off the clock.
  timers = win32::FormTimers();
  for (int id : {7, 1, 2, 3}) timers.Add(id);
  for (auto [id, ms] : {std::pair{1, 5}, {2, 1}, {3, 100}, {7, 5}}) timers.Start(id, ms, t0);
  EXPECT_EQ(timers.TakeDue(t0), -1);  // none due yet
  for (int id : {2, 7, 1, -1}) EXPECT_EQ(timers.TakeDue(t0 + milliseconds(6)), id);
  EXPECT_FALSE(timers.Active(2));
  EXPECT_TRUE(timers.Active(3));
}

Module1::HRASCONN H(std::uintptr_t n) { return reinterpret_cast<Module1::HRASCONN>(n); }

TEST(HangUpRequests, CountEachConnectionOnceInTheOrderFirstAskedAndForgetTheOld) {
  win32::HangUpRequests requests;
  for (auto [n, ms] : {std::pair{1, 0}, {2, 1000}, {3, 2000}, {2, 2500}})
    requests.Add(H(n), t0 + milliseconds(ms));
  EXPECT_EQ(requests.Since(t0 + milliseconds(500)), (std::vector{H(2), H(3)}));
  EXPECT_EQ(requests.Since(t0), (std::vector{H(1), H(2), H(3)}));
  requests.Forget(t0 + milliseconds(2200));
  EXPECT_EQ(requests.Since(t0), (std::vector{H(2)}));
  // Add forgets what is older than anything the end of the program waits for.
  for (int ms = 0; ms < 1000; ++ms) requests.Add(H(4), t0 + milliseconds(9000 + ms));
  EXPECT_EQ(requests.Since(t0), (std::vector{H(4)}));
  EXPECT_EQ(requests.Since(t0 + milliseconds(9999)), (std::vector{H(4)}));
}

// Connections 1 and 2, gone at `gone1` and `gone2` ms, asked about on a clock only the waiting
// moves, until the deadline: what is left, when the wait ends, how often each was asked.
TEST(WaitUntilGone, EndsOnceAllAreGoneOrAtTheDeadlineAndOnlyInvalidHandleMeansGone) {
  constexpr int kPoll = win32::kHangUpPollInterval.count();
  const struct {
    int gone1, gone2;
    std::uint32_t stillThere;  // the status of one not gone yet
    std::vector<Module1::HRASCONN> left;
    int endsAt, asked1, asked2;
  } cases[] = {
      {100, 400, platform::kRasSuccess, {}, 400, 100 / kPoll + 1, 400 / kPoll + 1},
      {60000, 10, platform::kRasSuccess, {H(1)}, 2995, 2995 / kPoll + 2, 2},  // no poll more
      {200, 200, platform::kRasInvalidSize, {}, 200, 200 / kPoll + 1, 200 / kPoll + 1},
      {0, 0, platform::kRasSuccess, {}, 0, 1, 1},
  };
  for (const auto& c : cases) {
    auto now = t0;
    std::map<Module1::HRASCONN, int> asked;
    const auto status = [&](Module1::HRASCONN h) {
      ++asked[h];
      return now >= t0 + milliseconds(h == H(1) ? c.gone1 : c.gone2) ? platform::kRasInvalidHandle
                                                                     : c.stillThere;
    };
    EXPECT_EQ(
        win32::WaitUntilGone({H(1), H(2)}, t0 + milliseconds(2995),
                             {status, [&] { return now; }, [&](milliseconds ms) { now += ms; }}),
        c.left);
    EXPECT_EQ(std::vector({int((now - t0) / 1ms), asked[H(1)], asked[H(2)]}),
              std::vector({c.endsAt, c.asked1, c.asked2}));
  }
}

TEST(Address, TheFirstIPv4AnswerAndADottedAddressFromWinsock) {
  sockaddr_in6 v6 = {};
  v6.sin6_family = AF_INET6;
  sockaddr_in first = {}, second = {};
  first.sin_family = second.sin_family = AF_INET;
  first.sin_addr.s_addr = htonl(0x0A010203);   // 10.1.2.3
  second.sin_addr.s_addr = htonl(0xC0000201);  // 192.0.2.1
  addrinfo c = {0, AF_INET, 0, 0, sizeof second, nullptr, (sockaddr*)&second, nullptr};
  addrinfo b = {0, AF_INET, 0, 0, sizeof first, nullptr, (sockaddr*)&first, &c};
  addrinfo a = {0, AF_INET6, 0, 0, sizeof v6, nullptr, (sockaddr*)&v6, &b};
  EXPECT_EQ(std::vector({win32::FirstIPv4(&a), win32::FirstIPv4(&c), win32::FirstIPv4(nullptr)}),
            std::vector<std::string>({"10.1.2.3", "192.0.2.1", ""}));
  a.ai_next = nullptr;
  EXPECT_EQ(win32::FirstIPv4(&a), "");
  const std::string address = win32::WinsockAddress().LocalIP();
  unsigned p[4];
  char tail;
  ASSERT_EQ(std::sscanf(address.c_str(), "%u.%u.%u.%u%c", &p[0], &p[1], &p[2], &p[3], &tail), 4)
      << address;
  EXPECT_LE(std::max({p[0], p[1], p[2], p[3]}), 255u) << address;
}

// Connections 1 to n, and their handles.
std::string Many(int n) { return n ? Many(n - 1) + std::to_string(n) + ":v;" : ""; }
std::vector<unsigned long long> All(int n) {
  std::vector<unsigned long long> handles(n);
  std::iota(handles.begin(), handles.end(), 1);
  return handles;
}

TEST(RasFaults, TheRoutineActsOnlyOnASuccessfulListingAndReadsNoFurtherThanTheName) {
  const struct {
    std::string connections;                 // "handle:name;..."
    const char *enumResult, *hangUpResult;   // injected, or nullptr
    std::vector<unsigned long long> hungUp;  // asked for, in order
  } faults[] = {
      {"7:Modem", nullptr, nullptr, {7}},
      {Many(257), nullptr, nullptr, {}},  // buffer too small
      {"1:a;2:b", "603", nullptr, {}},    // buffer too small, records written anyway
      {"1:a;2:b", "668", nullptr, {}},    // no connection, records written anyway
      {"1:a;2:b", "632", nullptr, {}},    // invalid size
      {"1:a", "87", nullptr, {}},         // invalid parameter
      {"1:a", "4294967295", nullptr, {}},
      {Many(256), nullptr, nullptr, All(256)},
      {"1:a;2:b;3:c", nullptr, "5", {1, 2, 3}},  // refused: each is still asked
      {"4:a;5:b", nullptr, "6", {4, 5}},         // invalid handle
      {"8:" + std::string(256, 'n') + ";9:;10:" + std::string(257, 'f'), nullptr, nullptr, {8, 10}},
  };
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
  const std::string log = temp + std::to_string(GetCurrentProcessId()) + "_ras_faults.log";
  SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_LOG", log.c_str());
  for (const auto& f : faults) {
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_CONNECTIONS", f.connections.c_str());
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_ENUM_RESULT", f.enumResult);
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_HANGUP_RESULT", f.hangUpResult);
    Module1::HangUpConnections();
    std::ifstream in(log);
    ASSERT_TRUE(in.good()) << "the test rasapi32.dll was not loaded";
    std::vector<unsigned long long> hungUp;
    for (std::string line; std::getline(in, line);)
      if (auto at = line.find(" hangup "); at != std::string::npos)
        hungUp.push_back(std::stoull(line.substr(at + 8)));
    EXPECT_EQ(hungUp, f.hungUp) << "row " << &f - faults;
    in.close();
    DeleteFileA(log.c_str());
  }
}

}  // namespace
