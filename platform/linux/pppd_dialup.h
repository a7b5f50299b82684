// Dial-up links run by pppd, found through /proc. This is what gets hung up
// when NetworkManager is not on the system bus.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform::linux_ras {

// One running pppd, as it was when listed.
struct PppdLink {
  pid_t pid = 0;
  // Field 22 of /proc/<pid>/stat. With the pid it tells this pppd apart from a
  // later process that has been given the same pid.
  unsigned long long startTime = 0;
  // Its "linkname NAME" argument, else the peer of its "call NAME", else empty.
  std::string name;
};

class PppdDialup {
 public:
  // How a signal is sent; kill(2) outside the tests.
  using SignalSender = std::function<int(pid_t, int)>;

  // Reads the processes under `procRoot`, a /proc.
  explicit PppdDialup(std::filesystem::path procRoot = "/proc", SignalSender send = {});

  // Every running pppd, whether or not its link is up yet, in pid order.
  std::vector<PppdLink> List() const;

  // Sends SIGTERM, as poff does, once it has checked that the pid still is
  // that same pppd. False when it has gone, or the pid now is another process.
  bool HangUp(const PppdLink& link) const;

 private:
  // The pppd with this pid, or nothing when the pid is not a pppd.
  std::optional<PppdLink> Read(pid_t pid) const;

  std::filesystem::path procRoot_;
  SignalSender send_;
};

}  // namespace platform::linux_ras
