// How pppd links are found and ended, over folders laid out as /proc and /run and a double of
// the kernel's signals: which processes are pppd links and by what name, which belong to
// NetworkManager, and that a signal goes only to the very pppd that was listed. What /proc
// holds is another program's to write, and a wrong pid ends the wrong process.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/linux/pppd_dialup.h"
#include "tests/linux_dialup/session.h"
#include "tests/linux_dialup/test_support.h"
#include "tests/named_rows.h"

namespace dialup_test {
namespace {

using named_rows::PrintTo;

using namespace std::string_literals;
using platform::linux_ras::PppdDialup;
using platform::linux_ras::PppdLink;
using platform::linux_ras::ProcessSignals;

const std::string kNmPlugin = "pppd\0plugin\0/usr/lib/NetworkManager/1.42/libnm-ppp-plugin.so\0"s;

// A /proc and a /run of the test's own, and what was asked of the kernel: "open 10",
// "signal 10 15", "kill 10 15", "close 10" (a pin's descriptor is 1000 + the pid).
class FakeProc : public ::testing::Test, public ProcessSignals {
 protected:
  void SetUp() override {
    Add(50, "/usr/sbin/NetworkManager\0"s, "NetworkManager");
    Add(51, "bash\0"s, "bash");
  }
  void Add(pid_t pid, const std::string& cmdline, const std::string& comm = "pppd",
           pid_t parent = 1, char state = 'S') {
    WriteFile(proc_.path() / std::to_string(pid) / "comm", comm + "\n");
    WriteFile(proc_.path() / std::to_string(pid) / "cmdline", cmdline);
    Stat(pid, 5000, parent, state);
  }
  // Its stat line, each field its own number but the state, the parent and the start time; the
  // command in parentheses holds a space and a parenthesis, as a command may.
  void Stat(pid_t pid, unsigned long long startTime, pid_t parent = 1, char state = 'S') {
    std::string stat = std::to_string(pid) + " (x) y) " + state;
    for (int field = 4; field <= 30; ++field) {
      stat += " " + std::to_string(field == 22 ? startTime : field == 4 ? parent : field);
    }
    WriteFile(proc_.path() / std::to_string(pid) / "stat", stat + "\n");
  }
  int Open(pid_t pid) override {
    if (pid == reusedOnOpen) Stat(pid, 7777);
    return Log("open", pid, 0, openError) < 0 ? -1 : 1000 + pid;
  }
  int Signal(int fd, int signal) override { return Log("signal", fd - 1000, signal, sendError); }
  int Kill(pid_t pid, int signal) override { return Log("kill", pid, signal, sendError); }
  void Close(int fd) override { Log("close", fd - 1000); }
  int Log(const std::string& call, pid_t pid, int signal = 0, int error = 0) {
    log_.push_back(call + " " + std::to_string(pid) + (signal ? " " + std::to_string(signal) : ""));
    if (error == 0) return 0;
    errno = error;
    return -1;
  }

  TempDir proc_, run_;
  PppdDialup pppd_{proc_.path(), run_.path(), this};
  std::vector<std::string> log_;
  int openError = 0, sendError = 0;
  pid_t reusedOnOpen = 0;
};

// One process beside NetworkManager (pid 50) and a shell (51), and how it is listed.
struct Process {
  const char* name;
  std::string cmdline;
  std::string listedAs;  // empty: not listed
  bool networkManagers = false;
  std::string comm = "pppd";
  pid_t parent = 1;
  char state = 'S';
};

class PppdProcesses : public FakeProc, public ::testing::WithParamInterface<Process> {};

TEST_P(PppdProcesses, AreListedByName) {
  const Process& row = GetParam();
  WriteFile(run_.path() / "ppp-x.pid", "200\nppp4\n");
  WriteFile(run_.path() / "ppp-y.pid", "201\nppp5\n");
  Add(200, row.cmdline, row.comm, row.parent, row.state);
  const std::vector<PppdLink> links = pppd_.List();
  if (row.listedAs.empty()) {
    EXPECT_EQ(links.size(), 0u);
    return;
  }
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].name, row.listedAs);
  EXPECT_EQ(links[0].startedByNetworkManager, row.networkManagers);
  EXPECT_EQ(links[0].startTime, 5000u);
}

INSTANTIATE_TEST_SUITE_P(
    FakeProc, PppdProcesses,
    ::testing::Values(
        Process{"AnotherCommand", "pppd2\0call\0c\0"s, "", false, "pppd2"},
        Process{"ACommandEndingInPppd", "xpppd\0call\0c\0"s, "", false, "xpppd"},
        Process{"EndedNotReaped", "pppd\0call\0z\0"s, "", false, "pppd", 1, 'Z'},
        Process{"LinknameBeforeCall", "pppd\0/dev/ttyS0\0linkname\0foo\0call\0bar\0"s, "foo"},
        Process{"LinknameAfterCall", "pppd\0call\0bar\0linkname\0foo\0"s, "foo"},
        Process{"TheLaterCall", "pppd\0call\0old\0call\0new\0"s, "new"},
        Process{"IfnameWhenCallIsEmpty", "pppd\0ifname\0dsl0\0call\0\0"s, "dsl0"},
        Process{"InterfaceOfItsPidFile", "pppd\0/dev/ttyS0\0"s, "ppp4"},
        Process{"AnOptionWithoutItsValue", "pppd\0linkname\0"s, "ppp4"},
        Process{"NoCommandLine", ""s, "ppp4"},
        Process{"BytesAsTheyAre", "pppd\0call\0\xff\xfe\x01isp\0"s, "\xff\xfe\x01isp"},
        Process{"ReadNoFurtherThan64KiB", "pppd\0" + std::string(1 << 20, 'a') + "\0call\0late\0"s,
                "ppp4"},
        Process{"NetworkManagersPlugin", kNmPlugin, "ppp4", true, "pppd", 50},
        Process{"NetworkManagersOlderPlugin", "pppd\0plugin\0nm-pppd-plugin.so\0"s, "ppp4", true,
                "pppd", 50},
        Process{"ThePluginFromAShell", kNmPlugin, "ppp4", false, "pppd", 51},
        Process{"AnotherPluginFromNetworkManager", "pppd\0plugin\0rp-pppoe.so\0"s, "ppp4", false,
                "pppd", 50}),
    named_rows::ByName());

TEST_F(FakeProc, APppdWithoutNameOrPidFileIsNamedByItsPid) {
  Add(208, "pppd\0/dev/ttyS0\0"s);
  const std::vector<PppdLink> links = pppd_.List();
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].name, "pppd 208");
}

TEST_F(FakeProc, TheInterfaceComesFromAPidFileNamedForIt) {
  Add(206, "pppd\0/dev/ttyS0\0"s);
  WriteFile(run_.path() / "ppp3.pid", "206\n");
  const std::vector<PppdLink> links = pppd_.List();
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].name, "ppp3");
}

TEST_F(FakeProc, LinksAreInPidOrder) {
  for (pid_t pid : {300, 7, 42}) Add(pid, "pppd\0call\0isp" + std::to_string(pid) + "\0"s);
  std::vector<pid_t> pids;
  for (const PppdLink& link : pppd_.List()) pids.push_back(link.pid);
  EXPECT_EQ(pids, (std::vector<pid_t>{7, 42, 300}));
}

// Ending as it ended: gone before its stat was read, or with its stat cut short.
TEST_F(FakeProc, APppdEndingAsItIsReadIsNotListed) {
  WriteFile(proc_.path() / "1000" / "comm", "pppd\n");
  Add(1001, "pppd\0"s);
  WriteFile(proc_.path() / "1001" / "stat", "1001 (pppd) S 1 2");
  EXPECT_EQ(pppd_.List().size(), 0u);
}

TEST_F(FakeProc, NetworkManagersPppdIsNeverSignalled) {
  Add(60, kNmPlugin, "pppd", 50);
  std::vector<PppdLink> links = pppd_.List();
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(pppd_.HangUp(links[0]), ESRCH);
  links[0].startedByNetworkManager = false;  // NetworkManager's even when listed as if not
  EXPECT_EQ(pppd_.HangUp(links[0]), ESRCH);
  EXPECT_EQ(log_, (std::vector<std::string>{"open 60", "close 60"}));
}

// What becomes of the listed pppd (pid 10) before it is hung up, and what the kernel says.
enum class Meanwhile { kNothing, kNewPppd, kAnotherProgram, kExited, kReusedAsItIsPinned };
struct HangUpCase {
  const char* name;
  Meanwhile meanwhile;
  int openError;  // ENOSYS: a kernel before 5.3, without pidfds
  int sendError;
  int result;
  std::vector<std::string> asked;
};

class HangUps : public FakeProc, public ::testing::WithParamInterface<HangUpCase> {};

TEST_P(HangUps, SignalOnlyTheListedPppdThroughItsPin) {
  const HangUpCase& row = GetParam();
  Add(10, "pppd\0call\0isp\0"s);
  const std::vector<PppdLink> links = pppd_.List();
  ASSERT_EQ(links.size(), 1u);
  switch (row.meanwhile) {
    case Meanwhile::kNothing:
      break;
    case Meanwhile::kNewPppd:
      Stat(10, 9999);
      break;
    case Meanwhile::kAnotherProgram:
      Add(10, "bash\0"s, "bash");
      break;
    case Meanwhile::kExited:
      std::filesystem::remove_all(proc_.path() / "10");
      break;
    case Meanwhile::kReusedAsItIsPinned:
      reusedOnOpen = 10;
      break;
  }
  openError = row.openError;
  sendError = row.sendError;
  EXPECT_EQ(pppd_.HangUp(links[0]), row.result);
  EXPECT_EQ(log_, row.asked);
}

// What the kernel was asked: the pin opened and closed unused; opened, signalled through and
// closed; opened alone (no pin to close).
const std::vector<std::string> kUnused = {"open 10", "close 10"},
                               kSignalled = {"open 10", "signal 10 15", "close 10"},
                               kOpenOnly = {"open 10"};
using enum Meanwhile;

const HangUpCase kHangUps[] = {
    // name, meanwhile, openError, sendError, result, asked
    {"TheSamePppd", kNothing, 0, 0, 0, kSignalled},
    {"ItsPidGivenToANewPppd", kNewPppd, 0, 0, ESRCH, kUnused},
    {"ItsPidGivenToAnotherProgram", kAnotherProgram, 0, 0, ESRCH, kUnused},
    {"Exited", kExited, 0, 0, ESRCH, kUnused},
    {"ItsPidReusedAsItIsPinned", kReusedAsItIsPinned, 0, 0, ESRCH, kUnused},
    {"NoPidfdsKillAfterTheCheck", kNothing, ENOSYS, 0, 0, {"open 10", "kill 10 15"}},
    {"NoPidfdsAndANewPppd", kNewPppd, ENOSYS, 0, ESRCH, kOpenOnly},
    {"NoDescriptorToPinItWith", kNothing, EMFILE, 0, EMFILE, kOpenOnly},
    {"AnotherUsersPppd", kNothing, 0, EPERM, EPERM, kSignalled},
};

INSTANTIATE_TEST_SUITE_P(FakeProc, HangUps, ::testing::ValuesIn(kHangUps), named_rows::ByName());

}  // namespace
}  // namespace dialup_test
