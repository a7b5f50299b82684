// pppd's /proc entries and pid files as any process may write them: a process may call itself
// pppd and give itself any command line, and a pid file in /run may hold anything. Fed to the
// parsers of stat lines, command lines and pid files, then laid out as a /proc and a /run of
// this target's own for a listing and a hang-up, with the kernel's signals replaced by a double
// that only records. What must hold: nothing crashes or reads out of bounds; a name comes from
// the command line's own arguments; every listed link has a name, in pid order; and a signal
// goes only to a process that, once pinned, still reads as the pppd that was listed, never to
// one of NetworkManager's.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/pppd_dialup.h"

using namespace platform::linux_ras;
namespace fs = std::filesystem;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// A /proc and a /run for one input, in memory where there is a tmpfs, removed after it.
class Tree {
 public:
  Tree() {
    const fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
    std::string pattern = base / "fuzz-pppd-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    root_ = pattern;
  }
  ~Tree() { fs::remove_all(root_); }
  fs::path proc() const { return root_ / "proc"; }
  fs::path run() const { return root_ / "run"; }

 private:
  fs::path root_;
};

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Text that is most often what the kernel or pppd writes, else any bytes.
std::string Comm(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return "pppd\n";
    case 1:
      return "NetworkManager\n";
    case 2:
      return "pppd";
    default:
      return in.ConsumeRandomLengthString(32);
  }
}

std::string StatLine(FuzzedDataProvider& in, pid_t pid) {
  if (in.ConsumeBool()) return in.ConsumeRandomLengthString(512);
  std::string stat = std::to_string(pid) + " (" + in.ConsumeRandomLengthString(20) + ") " +
                     (in.ConsumeBool() ? "S" : in.ConsumeBytesAsString(1));
  for (int field = 4; field <= 24 && in.remaining_bytes() > 0; ++field) {
    stat +=
        " " + (in.ConsumeIntegralInRange(0, 9) == 0 ? in.ConsumeRandomLengthString(24)
                                                    : std::to_string(in.ConsumeIntegral<int>()));
  }
  return stat + "\n";
}

std::string Cmdline(FuzzedDataProvider& in) {
  static const std::vector<std::string> kWords = {"pppd",
                                                  "call",
                                                  "linkname",
                                                  "ifname",
                                                  "plugin",
                                                  "nm-pppd-plugin.so",
                                                  "/usr/lib/NetworkManager/libnm-ppp-plugin.so",
                                                  "isp",
                                                  ""};
  std::string cmdline;
  for (int n = in.ConsumeIntegralInRange(0, 8); n > 0; --n) {
    cmdline += in.ConsumeBool()
                   ? kWords[in.ConsumeIntegralInRange<std::size_t>(0, kWords.size() - 1)]
                   : in.ConsumeRandomLengthString(64);
    if (in.ConsumeIntegralInRange(0, 15) != 0) cmdline += '\0';
  }
  return cmdline;
}

// A file name that may stand in a folder: no slash, no NUL, not "." or "..".
std::string FileName(FuzzedDataProvider& in) {
  std::string name;
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
      name = "ppp" + std::to_string(in.ConsumeIntegralInRange(0, 9)) + ".pid";
      break;
    case 1:
      name = "ppp-" + in.ConsumeRandomLengthString(12) + ".pid";
      break;
    default:
      name = in.ConsumeRandomLengthString(24);
  }
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (name.empty() || name == "." || name == "..") name = "ppp.pid";
  return name.substr(0, 200);
}

// Splits a command line as pppd's arguments are given.
std::vector<std::string> Arguments(const std::string& cmdline) {
  std::vector<std::string> args;
  std::string::size_type start = 0;
  while (start < cmdline.size()) {
    const std::string::size_type end = std::min(cmdline.find('\0', start), cmdline.size());
    args.push_back(cmdline.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

// Records what is asked of the kernel, and checks that what it is asked to signal is, as /proc
// reads now, the pppd that was listed.
class Signals : public ProcessSignals {
 public:
  explicit Signals(fs::path proc) : proc_(std::move(proc)) {}
  const PppdLink* link = nullptr;
  int calls = 0;
  int Open(pid_t pid) override {
    ++calls;
    Check(link && pid == link->pid);
    return 1000 + pid;
  }
  int Signal(int pidfd, int signal) override {
    CheckIsTheListedPppd(pidfd - 1000, signal);
    return 0;
  }
  int Kill(pid_t pid, int signal) override {
    CheckIsTheListedPppd(pid, signal);
    return 0;
  }
  void Close(int) override {}

 private:
  void CheckIsTheListedPppd(pid_t pid, int signal) {
    Check(link && pid == link->pid && signal == SIGTERM && !link->startedByNetworkManager);
    std::ifstream in(proc_ / std::to_string(pid) / "stat", std::ios::binary);
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::optional<ProcStat> fields = ParseStat(stat);
    Check(fields && fields->startTime == link->startTime);
  }
  fs::path proc_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);

  // The parsers alone.
  (void)ParseStat(in.ConsumeRandomLengthString(512));
  const std::string cmdline = Cmdline(in);
  const PppdArguments parsed = ParseArguments(cmdline);
  if (!parsed.name.empty()) {
    const std::vector<std::string> args = Arguments(cmdline);
    Check(std::find(args.begin() + (args.empty() ? 0 : 1), args.end(), parsed.name) != args.end());
  }
  const std::string pidFile = FileName(in);
  const std::string contents = in.ConsumeRandomLengthString(64);
  if (!InterfaceFromPidFile(pidFile, contents, in.ConsumeIntegral<pid_t>()).empty()) {
    Check(pidFile.starts_with("ppp") && pidFile.ends_with(".pid"));
  }

  // A /proc and a /run of those bytes, listed, then hung up link by link.
  const Tree tree;
  const fs::path proc = tree.proc(), run = tree.run();
  fs::create_directories(proc);
  fs::create_directories(run);
  for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
    const pid_t pid = in.ConsumeIntegralInRange(1, 40);
    const fs::path dir = proc / std::to_string(pid);
    Write(dir / "comm", Comm(in));
    if (in.ConsumeIntegralInRange(0, 7) != 0) Write(dir / "stat", StatLine(in, pid));
    if (in.ConsumeIntegralInRange(0, 7) != 0) Write(dir / "cmdline", Cmdline(in));
  }
  for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n) {
    Write(run / FileName(in), in.ConsumeRandomLengthString(64));
  }
  Signals signals(proc);
  const PppdDialup pppd(proc, run, &signals);
  const std::vector<PppdLink> links = pppd.List();
  for (std::size_t i = 0; i < links.size(); ++i) {
    Check(!links[i].name.empty());
    if (i > 0) Check(links[i - 1].pid < links[i].pid);
  }
  for (const PppdLink& link : links) {
    // Meanwhile the process may have ended, or its pid gone to another.
    if (in.ConsumeBool()) {
      Write(proc / std::to_string(link.pid) / "stat", StatLine(in, link.pid));
    }
    signals.link = &link;
    signals.calls = 0;
    const int result = pppd.HangUp(link);
    Check(result == 0 || result == ESRCH);
    if (link.startedByNetworkManager) Check(signals.calls == 0);
  }
  return 0;
}
