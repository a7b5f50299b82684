// The hang-up routine against the test rasapi32.dll under Wine, with the
// faults it can be told to show: listing errors (with the records and count
// written all the same), "buffer too small" for more than 256 connections,
// refused hang-ups, and names that fill their field with no zero byte and a
// marker right after it.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "dialup/module1.h"

namespace {

std::string Many(int n) {
  std::string list;
  for (int i = 1; i <= n; ++i) list += std::to_string(i) + ":v;";
  return list;
}

std::vector<unsigned long long> All(int n) {
  std::vector<unsigned long long> handles;
  for (int i = 1; i <= n; ++i) handles.push_back(i);
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
