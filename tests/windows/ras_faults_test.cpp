// The hang-up routine against the test rasapi32.dll's faults: listing errors (records and
// count written anyway), over 256 connections, refused hang-ups, names filling their field.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "dialup/module1.h"

namespace {

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
