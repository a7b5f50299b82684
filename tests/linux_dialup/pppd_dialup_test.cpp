// The pppd side of the dial-up layer: which processes count, what they are
// called, and that only the listed pppd itself is ever signalled.
#include "platform/linux/pppd_dialup.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tests/linux_dialup/test_support.h"

namespace {

using dialup_test::Child;
using dialup_test::TempDir;
using dialup_test::WriteFile;
using platform::linux_ras::PppdDialup;
using platform::linux_ras::PppdLink;

// A folder laid out like /proc, and the signals sent to its processes.
class FakeProc : public ::testing::Test {
 protected:
  void AddProcess(pid_t pid, const std::string& comm, const std::string& cmdline,
                  unsigned long long startTime = 5000) {
    const auto dir = root_.path() / std::to_string(pid);
    WriteFile(dir / "comm", comm + "\n");
    WriteFile(dir / "cmdline", cmdline);
    SetStartTime(pid, startTime);
  }
  void SetStartTime(pid_t pid, unsigned long long startTime) {
    // Each field holds its own number, so reading the wrong one shows.
    std::string stat = std::to_string(pid) + " (x) y)";
    for (int field = 3; field <= 30; ++field) {
      stat += " " + (field == 22 ? std::to_string(startTime) : std::to_string(field));
    }
    WriteFile(root_.path() / std::to_string(pid) / "stat", stat + "\n");
  }

  TempDir root_;
  std::vector<std::pair<pid_t, int>> sent_;
  PppdDialup pppd_{root_.path(), [this](pid_t pid, int signal) {
                     sent_.emplace_back(pid, signal);
                     return 0;
                   }};
};

using namespace std::string_literals;

TEST_F(FakeProc, ListsOnlyPppdProcessesInPidOrder) {
  AddProcess(100, "pppd", "pppd\0call\0b\0"s);
  AddProcess(99, "pppd", "pppd\0call\0a\0"s);
  AddProcess(7, "bash", "bash\0"s);
  AddProcess(12, "pppd2", "pppd2\0call\0c\0"s);
  AddProcess(13, "xpppd", "xpppd\0"s);
  WriteFile(root_.path() / "self" / "comm", "pppd\n");
  WriteFile(root_.path() / "1000" / "comm", "pppd\n");  // gone before its stat was read

  const std::vector<PppdLink> links = pppd_.List();
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].pid, 99);
  EXPECT_EQ(links[1].pid, 100);
  EXPECT_EQ(links[0].startTime, 5000u);
}

TEST_F(FakeProc, NamesComeFromLinknameElseCall) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"pppd\0call\0myisp\0"s, "myisp"},
      {"pppd\0/dev/ttyS0\0linkname\0foo\0call\0bar\0"s, "foo"},
      {"pppd\0call\0bar\0linkname\0foo\0"s, "foo"},
      {"pppd\0call\0old\0call\0new\0"s, "new"},
      {"pppd\0/dev/ttyS0\0115200\0nodetach\0"s, ""},
      {"pppd\0call\0"s, ""},
      {""s, ""},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    AddProcess(static_cast<pid_t>(200 + i), "pppd", cases[i].first);
  }
  const std::vector<PppdLink> links = pppd_.List();
  ASSERT_EQ(links.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(links[i].name, cases[i].second) << "case " << i;
  }
}

TEST_F(FakeProc, HangUpSignalsOnlyTheSamePppd) {
  for (pid_t pid : {10, 11, 12, 13}) AddProcess(pid, "pppd", "pppd\0call\0isp\0"s);
  const std::vector<PppdLink> links = pppd_.List();
  ASSERT_EQ(links.size(), 4u);

  SetStartTime(11, 9999);                            // pid given to a new pppd
  AddProcess(12, "bash", "bash\0"s);                 // pid given to another program
  std::filesystem::remove_all(root_.path() / "13");  // exited
  EXPECT_TRUE(pppd_.HangUp(links[0]));
  EXPECT_FALSE(pppd_.HangUp(links[1]));
  EXPECT_FALSE(pppd_.HangUp(links[2]));
  EXPECT_FALSE(pppd_.HangUp(links[3]));
  EXPECT_EQ(sent_, (std::vector<std::pair<pid_t, int>>{{10, SIGTERM}}));
}

// The same against the real /proc, with processes that this test starts.
TEST(RealProc, ListsAndTerminatesARunningPppd) {
  Child dialing({PPPD_STANDIN, "call", "myisp"});
  Child named({PPPD_STANDIN, "linkname", "foo", "call", "bar"});
  const PppdDialup pppd;
  std::vector<PppdLink> ours;
  for (const PppdLink& link : pppd.List()) {
    if (link.pid == dialing.pid() || link.pid == named.pid()) ours.push_back(link);
  }
  ASSERT_EQ(ours.size(), 2u);
  const bool dialingFirst = ours[0].pid == dialing.pid();
  EXPECT_EQ(ours[dialingFirst ? 0 : 1].name, "myisp");
  EXPECT_EQ(ours[dialingFirst ? 1 : 0].name, "foo");

  EXPECT_TRUE(pppd.HangUp(ours[dialingFirst ? 0 : 1]));
  EXPECT_EQ(dialing.KillAndReap(), SIGTERM);
  EXPECT_EQ(named.KillAndReap(), SIGKILL);  // not listed for hanging up: left alone
}

}  // namespace
