// Dial-up links run by pppd, found through /proc: those started from a
// terminal, a boot script, pon or wvdial. A pppd that NetworkManager started
// for one of its own connections is NetworkManager's to end.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::linux_ras {

// One running pppd, as it was when listed.
struct PppdLink {
  pid_t pid = 0;
  // Field 22 of /proc/<pid>/stat. With the pid it tells this pppd apart from a
  // later process that has been given the same pid.
  unsigned long long startTime = 0;
  // Its "linkname NAME", else the peer of its "call NAME", else its
  // "ifname NAME", else the ppp interface it holds, else "pppd <pid>".
  std::string name;
  // Runs NetworkManager's pppd plugin with NetworkManager as its parent.
  bool startedByNetworkManager = false;
};

// What a /proc/<pid>/stat line tells: the state, the parent and the start time.
struct ProcStat {
  char state = '?';  // 'Z' for a process that has ended but not been reaped
  pid_t parent = 0;
  unsigned long long startTime = 0;
};
std::optional<ProcStat> ParseStat(std::string_view stat);

// What pppd's arguments (/proc/<pid>/cmdline, zero-separated) tell.
struct PppdArguments {
  std::string name;  // linkname, else call, else ifname; empty when none is given
  bool networkManagerPlugin = false;
};
PppdArguments ParseArguments(std::string_view cmdline);

// The interface that a pid file of pppd's names when the file holds `pid`,
// else empty: "ppp0.pid" holds the pid, "ppp-NAME.pid" (for a linkname) the
// pid and then the interface on a line of its own.
std::string InterfaceFromPidFile(std::string_view fileName, std::string_view contents, pid_t pid);

// How a signal reaches a process. The real one pins the process with a pidfd
// before it is checked, so that a pid reused in between is never signalled;
// kernels before 5.3 have no pidfd and get kill(2) after the check.
class ProcessSignals {
 public:
  virtual ~ProcessSignals() = default;
  // A descriptor for the process now holding `pid`, or -1 with errno set
  // (ENOSYS where the kernel has no pidfd).
  virtual int Open(pid_t pid);
  // 0, or -1 with errno set.
  virtual int Signal(int pidfd, int signal);
  virtual int Kill(pid_t pid, int signal);
  virtual void Close(int pidfd);
};

class PppdDialup {
 public:
  // Reads the processes under `procRoot`, a /proc, and pppd's pid files in
  // `runRoot`; `processSignals` (kept, not owned) defaults to the kernel's.
  explicit PppdDialup(std::filesystem::path procRoot = "/proc",
                      std::filesystem::path runRoot = "/run",
                      ProcessSignals* processSignals = nullptr);

  // Every running pppd, whether or not its link is up yet, in pid order.
  std::vector<PppdLink> List() const;

  // Sends SIGTERM, as poff does, to the process once it is pinned and seen to
  // be that same pppd, not one of NetworkManager's. Returns 0, or the errno
  // that tells why not: ESRCH when it has gone or the pid now is another
  // process, EPERM when it is not ours to end.
  int HangUp(const PppdLink& link) const;

 private:
  std::optional<PppdLink> Read(pid_t pid) const;
  std::string HeldInterface(pid_t pid) const;

  std::filesystem::path procRoot_;
  std::filesystem::path runRoot_;
  ProcessSignals* signals_;
};

}  // namespace platform::linux_ras
