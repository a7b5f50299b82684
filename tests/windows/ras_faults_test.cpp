// The hang-up routine against the test rasapi32.dll under Wine, with the
// faults it can be told to show: listing errors (with the records and count
// written all the same), "buffer too small" for more than 256 connections,
// refused hang-ups, and names that fill their field with no zero byte and a
// marker right after it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dialup/module1.h"

namespace {

struct Fault {
  const char* what;
  std::string connections;  // "handle:name;..."
  const char* enumResult;   // injected, or nullptr
  const char* hangUpResult;
  std::vector<unsigned long long> hungUp;  // asked for, in order
};

std::string Many(int n) {
  std::string list;
  for (int i = 1; i <= n; ++i) list += std::to_string(i) + ":v;";
  return list;
}

// The handles the routine asked the service to hang up, from its log.
std::vector<unsigned long long> HangUps(const std::string& log) {
  std::vector<unsigned long long> handles;
  std::ifstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    unsigned long ms = 0;
    unsigned long long handle = 0;
    if (std::sscanf(line.c_str(), "%lu hangup %llu", &ms, &handle) == 2) handles.push_back(handle);
  }
  return handles;
}

TEST(RasFaults, TheRoutineActsOnlyOnASuccessfulListingAndReadsNoFurtherThanTheName) {
  const std::string name256(256, 'n');
  const std::string name257(257, 'f');  // no zero byte; the marker follows
  const std::vector<Fault> faults = {
      {"one connection", "7:Modem", nullptr, nullptr, {7}},
      {"257 connections: buffer too small", Many(257), nullptr, nullptr, {}},
      {"buffer too small, records written anyway", "1:a;2:b", "603", nullptr, {}},
      {"no connection (668), records written anyway", "1:a;2:b", "668", nullptr, {}},
      {"invalid parameter (87)", "1:a", "87", nullptr, {}},
      {"an unknown code", "1:a", "4294967295", nullptr, {}},
      {"hang-ups refused: each is still asked", "1:a;2:b;3:c", nullptr, "5", {1, 2, 3}},
      {"invalid handle on hang-up", "4:a;5:b", nullptr, "6", {4, 5}},
      {"names of 256 and 257 bytes, and an empty one",
       "8:" + name256 + ";9:;10:" + name257,
       nullptr,
       nullptr,
       {8, 10}},
  };
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
  int n = 0;
  for (const Fault& f : faults) {
    const std::string log = std::string(temp) + "ras_faults_" +
                            std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++n) +
                            ".log";
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_LOG", log.c_str());
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_CONNECTIONS", f.connections.c_str());
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_ENUM_RESULT", f.enumResult);
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_HANGUP_RESULT", f.hangUpResult);
    Module1::HangUpConnections();
    ASSERT_TRUE(std::ifstream(log).good()) << f.what << ": the test rasapi32.dll was not loaded";
    EXPECT_EQ(HangUps(log), f.hungUp) << f.what;
    DeleteFileA(log.c_str());
  }
}

}  // namespace
