// The pppd side of the dial-up layer: which processes count, what they are
// called, and that only the listed pppd itself is ever signalled.
#include "platform/linux/pppd_dialup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dialup/module1.h"
#include "tests/linux_dialup/test_support.h"

namespace {

using dialup_test::Child;
using dialup_test::TempDir;
using dialup_test::WriteFile;
using platform::linux_ras::PppdDialup;
using platform::linux_ras::PppdLink;

// Signals as the hang-up sends them (a pinned pid's descriptor is 1000 + pid),
// and a hook run when a process is pinned.
struct RecordedSignals : platform::linux_ras::ProcessSignals {
  int Open(pid_t pid) override {
    if (onOpen) onOpen(pid);
    if (openError != 0) return Fail(openError);
    opened.push_back(pid);
    return 1000 + pid;
  }
  int Signal(int pidfd, int signal) override {
    sent.emplace_back(pidfd - 1000, signal);
    return sendError == 0 ? 0 : Fail(sendError);
  }
  int Kill(pid_t pid, int signal) override {
    killed.emplace_back(pid, signal);
    return sendError == 0 ? 0 : Fail(sendError);
  }
  void Close(int pidfd) override { closed.push_back(pidfd - 1000); }
  static int Fail(int error) {
    errno = error;
    return -1;
  }

  std::function<void(pid_t)> onOpen;
  int openError = 0;
  int sendError = 0;
  std::vector<pid_t> opened, closed;
  std::vector<std::pair<pid_t, int>> sent, killed;
};

// A folder laid out like /proc, another like /run, and the signals sent.
class FakeProc : public ::testing::Test {
 protected:
  void AddProcess(pid_t pid, const std::string& comm, const std::string& cmdline,
                  unsigned long long startTime = 5000, pid_t parent = 1) {
    const auto dir = root_.path() / std::to_string(pid);
    WriteFile(dir / "comm", comm + "\n");
    WriteFile(dir / "cmdline", cmdline);
    SetStartTime(pid, startTime, parent);
  }
  void SetStartTime(pid_t pid, unsigned long long startTime, pid_t parent = 1) {
    // Each field holds its own number, so reading the wrong one shows.
    std::string stat = std::to_string(pid) + " (x) y)";
    for (int field = 3; field <= 30; ++field) {
      stat += " " + (field == 22  ? std::to_string(startTime)
                     : field == 4 ? std::to_string(parent)
                                  : std::to_string(field));
    }
    WriteFile(root_.path() / std::to_string(pid) / "stat", stat + "\n");
  }

  TempDir root_;
  TempDir run_;
  RecordedSignals signals_;
  PppdDialup pppd_{root_.path(), run_.path(), &signals_};
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
  AddProcess(1001, "pppd", "pppd\0"s);
  WriteFile(root_.path() / "1001" / "stat", "1001 (pppd) S 1 2");  // cut short as it ended
  AddProcess(1002, "pppd", "pppd\0call\0z\0"s);
  std::string zombie = dialup_test::ReadFile(root_.path() / "1002" / "stat");
  zombie.replace(zombie.find(") 3 "), 4, ") Z ");  // ended, not yet reaped
  WriteFile(root_.path() / "1002" / "stat", zombie);

  const std::vector<PppdLink> links = pppd_.List();
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].pid, 99);
  EXPECT_EQ(links[1].pid, 100);
  EXPECT_EQ(links[0].startTime, 5000u);
}

TEST_F(FakeProc, EveryPppdHasANameLinknameCallIfnameInterfaceElseItsPid) {
  WriteFile(run_.path() / "ppp3.pid", "206\n");
  WriteFile(run_.path() / "ppp-x.pid", "207\nppp4\n");
  WriteFile(run_.path() / "ppp5.pid", "2060\n");  // another pid
  const std::string huge(1 << 20, 'a');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"pppd\0call\0myisp\0"s, "myisp"},
      {"pppd\0/dev/ttyS0\0linkname\0foo\0call\0bar\0"s, "foo"},
      {"pppd\0call\0bar\0linkname\0foo\0"s, "foo"},
      {"pppd\0call\0old\0call\0new\0"s, "new"},
      {"pppd\0ifname\0dsl0\0call\0\0"s, "dsl0"},
      {"pppd\0/dev/ttyS0\0115200\0nodetach\0"s, "pppd 205"},
      {"pppd\0/dev/ttyS0\0"s, "ppp3"},
      {"pppd\0linkname\0"s, "ppp4"},
      {""s, "pppd 208"},
      {"pppd\0call\0\xff\xfe\x01isp\0"s, "\xff\xfe\x01isp"},
      {"pppd\0" + huge + "\0call\0late\0"s, "pppd 210"},  // read no further than 64 KiB
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

TEST_F(FakeProc, OnlyAPppdWithNetworkManagersPluginAndParentIsNetworkManagers) {
  AddProcess(50, "NetworkManager", "/usr/sbin/NetworkManager\0"s);
  AddProcess(51, "bash", "bash\0"s);
  const std::string plugin = "pppd\0plugin\0/usr/lib/NetworkManager/1.42/libnm-ppp-plugin.so\0"s;
  AddProcess(60, "pppd", plugin, 5000, 50);
  AddProcess(61, "pppd", "pppd\0plugin\0nm-pppd-plugin.so\0"s, 5000, 50);
  AddProcess(62, "pppd", plugin, 5000, 51);                // the plugin, from a shell
  AddProcess(63, "pppd", "pppd\0call\0isp\0"s, 5000, 50);  // no plugin
  AddProcess(64, "pppd", "pppd\0plugin\0rp-pppoe.so\0"s, 5000, 50);
  const std::vector<PppdLink> links = pppd_.List();
  ASSERT_EQ(links.size(), 5u);
  std::vector<bool> nm;
  for (const PppdLink& link : links) nm.push_back(link.startedByNetworkManager);
  EXPECT_EQ(nm, (std::vector<bool>{true, true, false, false, false}));

  EXPECT_EQ(pppd_.HangUp(links[0]), ESRCH);
  PppdLink claimed = links[0];  // even when listed as if it were not
  claimed.startedByNetworkManager = false;
  EXPECT_EQ(pppd_.HangUp(claimed), ESRCH);
  EXPECT_TRUE(signals_.sent.empty());
}

TEST_F(FakeProc, HangUpSignalsOnlyTheSamePppdThroughItsPinnedDescriptor) {
  for (pid_t pid : {10, 11, 12, 13, 14}) AddProcess(pid, "pppd", "pppd\0call\0isp\0"s);
  const std::vector<PppdLink> links = pppd_.List();
  ASSERT_EQ(links.size(), 5u);

  SetStartTime(11, 9999);                            // pid given to a new pppd
  AddProcess(12, "bash", "bash\0"s);                 // pid given to another program
  std::filesystem::remove_all(root_.path() / "13");  // exited
  // Reused after the listing, just as it is pinned: the check must see that.
  signals_.onOpen = [&](pid_t pid) {
    if (pid == 14) SetStartTime(14, 7777);
  };
  const std::vector<int> expected = {0, ESRCH, ESRCH, ESRCH, ESRCH};
  for (std::size_t i = 0; i < links.size(); ++i) {
    EXPECT_EQ(pppd_.HangUp(links[i]), expected[i]) << links[i].pid;
  }
  EXPECT_EQ(signals_.sent, (std::vector<std::pair<pid_t, int>>{{10, SIGTERM}}));
  EXPECT_TRUE(signals_.killed.empty());
  EXPECT_EQ(signals_.closed, signals_.opened);  // no descriptor is left open
}

TEST_F(FakeProc, WithoutPidfdsKillsAfterTheCheckAndRefusalsAreReported) {
  AddProcess(20, "pppd", "pppd\0call\0isp\0"s);
  AddProcess(21, "pppd", "pppd\0call\0isp\0"s);
  const std::vector<PppdLink> links = pppd_.List();
  signals_.openError = ENOSYS;  // a kernel before 5.3
  SetStartTime(21, 1);
  EXPECT_EQ(pppd_.HangUp(links[0]), 0);
  EXPECT_EQ(pppd_.HangUp(links[1]), ESRCH);
  EXPECT_EQ(signals_.killed, (std::vector<std::pair<pid_t, int>>{{20, SIGTERM}}));

  signals_.openError = 0;
  signals_.sendError = EPERM;  // another user's pppd
  EXPECT_EQ(pppd_.HangUp(links[0]), EPERM);
  signals_.openError = EMFILE;  // no descriptor to pin it with: not signalled blind
  EXPECT_EQ(pppd_.HangUp(links[0]), EMFILE);
  EXPECT_EQ(signals_.killed.size(), 1u);
}

// Another user's pppd refuses the signal (EPERM, from the kernel): the
// refusal is written once however often it is asked, and the user's own
// pppd is ended all the same. The hang-up runs in a child as "nobody".
TEST(RealProc, AnotherUsersPppdIsReportedOnceAndTheOwnIsEndedAllTheSame) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to run processes as two users";
  constexpr int kNobody = 65534;
  Child others({PPPD_STANDIN, "call", "isp-of-root"});
  Child own({PPPD_STANDIN, "call", "isp-of-nobody"}, false, kNobody);
  int output[2];
  ASSERT_EQ(pipe(output), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(output[1], STDERR_FILENO);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket", 1);
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
    for (int i = 0; i < 3; ++i) Module1::HangUpConnections();
    _exit(0);
  }
  close(output[1]);
  std::string written;
  char buffer[4096];
  for (ssize_t n; (n = read(output[0], buffer, sizeof buffer)) > 0;) written.append(buffer, n);
  close(output[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  const std::string line = "prekidnik: could not hang up \"isp-of-root\" (pppd " +
                           std::to_string(others.pid()) + "): Operation not permitted\n";
  const std::size_t at = written.find(line);
  EXPECT_NE(at, std::string::npos) << written;
  EXPECT_EQ(written.find(line, at + 1), std::string::npos) << written;  // once
  EXPECT_EQ(own.KillAndReap(), SIGTERM);
  EXPECT_EQ(others.KillAndReap(), SIGKILL);
}

}  // namespace
