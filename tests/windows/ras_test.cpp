// The hang-up routine (dialup/module1.cpp) against Windows' Remote Access as the test
// rasapi32.dll beside this program plays it (fake_rasapi32/): listing errors after records were
// written anyway, a full buffer, refused hang-ups, and names of every length. Only a successful
// listing may be acted on, and each record is read no further than its name. Under Wine, through
// the real import of rasapi32.dll, so the record's layout is Windows' own.
#include <windows.h>
// The record's layout and the routine build on <windows.h>.
#include <gtest/gtest.h>

#include <fstream>
#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "dialup/module1.h"
#include "tests/named_rows.h"

namespace {

using named_rows::PrintTo;

// "1:v;2:v;...;n:v": connections 1 to n.
std::string Many(int n) {
  std::string listed;
  for (int i = 1; i <= n; ++i) listed += std::to_string(i) + ":v;";
  return listed;
}

std::vector<unsigned long long> OneTo(int n) {
  std::vector<unsigned long long> handles(n);
  std::iota(handles.begin(), handles.end(), 1);
  return handles;
}

struct Fault {
  const char* name;
  std::string connections;                 // "handle:name;..."
  const char* enumResult = nullptr;        // the listing's answer, after writing records and count
  const char* hangUpResult = nullptr;      // every hang-up's answer, the connection left up
  std::vector<unsigned long long> hungUp;  // asked for, in order
};

// (The one-connection listing goes: a loop from 1 or to count - 1 fails the refused and names
// rows. 632 and 87 go: a list of known failure codes fails 4294967295; a hang-up refused as an
// invalid handle, the refused row. 257 connections go: the end-to-end exit case reads the
// buffer's 256 records, and the logic tests' listing past the buffer reads no further.)
const Fault kFaults[] = {
    {.name = "BufferTooSmall", .connections = "1:a;2:b", .enumResult = "603", .hungUp = {}},
    {.name = "NoSuchConnection", .connections = "1:a;2:b", .enumResult = "668", .hungUp = {}},
    {.name = "AnUnknownError", .connections = "1:a", .enumResult = "4294967295", .hungUp = {}},
    {.name = "AFullBuffer", .connections = Many(256), .hungUp = OneTo(256)},
    // Refused: each connection is still asked.
    {.name = "RefusedHangUps",
     .connections = "1:a;2:b;3:c",
     .hangUpResult = "5",
     .hungUp = {1, 2, 3}},
    {.name = "AnEmptyNameIsNoConnection", .connections = "9:;10:a", .hungUp = {10}},
    // 256 bytes and the field's end; 257 fill the field with no end: a name all the same.
    {.name = "NamesThatFillTheirField",
     .connections = "8:" + std::string(256, 'n') + ";10:" + std::string(257, 'f'),
     .hungUp = {8, 10}},
};

class RasFaults : public ::testing::TestWithParam<Fault> {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    log = temp + std::to_string(GetCurrentProcessId()) + "_ras_faults.log";
    // This row's calls only: an earlier program of the same Wine process id may have left some.
    DeleteFileA(log.c_str());
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_LOG", log.c_str());
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_CONNECTIONS", GetParam().connections.c_str());
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_ENUM_RESULT", GetParam().enumResult);
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_HANGUP_RESULT", GetParam().hangUpResult);
  }

  // The handles the test rasapi32.dll was asked to hang up, from its log.
  std::vector<unsigned long long> HungUp() {
    std::ifstream in(log);
    EXPECT_TRUE(in.good()) << "the test rasapi32.dll was not loaded: no " << log;
    std::vector<unsigned long long> hungUp;
    for (std::string line; std::getline(in, line);)
      if (auto at = line.find(" hangup "); at != std::string::npos)
        hungUp.push_back(std::stoull(line.substr(at + 8)));
    return hungUp;
  }

  std::string log;
};

TEST_P(RasFaults, TheRoutineHangsUpEachNamedConnectionOfASuccessfulListingOnly) {
  Module1::HangUpConnections();
  const std::vector<unsigned long long> hungUp = HungUp();
  EXPECT_EQ(hungUp.size(), GetParam().hungUp.size());  // a long list prints only its start
  EXPECT_EQ(hungUp, GetParam().hungUp);
}

INSTANTIATE_TEST_SUITE_P(Listings, RasFaults, ::testing::ValuesIn(kFaults), named_rows::ByName());

}  // namespace
