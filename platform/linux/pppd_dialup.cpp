#include "platform/linux/pppd_dialup.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <system_error>
#include <utility>

namespace platform::linux_ras {

namespace {

// pppd's options are short; a longer command line is read no further, so
// that a process posing as pppd with megabytes of arguments costs little.
constexpr std::size_t kMaxCmdline = 64 * 1024;
constexpr std::size_t kMaxSmallFile = 4096;

std::optional<std::string> ReadFile(const std::filesystem::path& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(limit, '\0');
  in.read(text.data(), static_cast<std::streamsize>(limit));
  if (in.bad()) return std::nullopt;
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

// A whole decimal number, nothing before or after it.
template <typename Number>
std::optional<Number> ParseNumber(std::string_view text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::string_view NextField(std::string_view& rest) {
  const std::size_t start = std::min(rest.find_first_not_of(' '), rest.size());
  rest.remove_prefix(start);
  const std::size_t end = std::min(rest.find(' '), rest.size());
  const std::string_view field = rest.substr(0, end);
  rest.remove_prefix(end);
  return field;
}

std::string_view BaseName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsPppdComm(const std::optional<std::string>& comm) {
  return comm && (*comm == "pppd\n" || *comm == "pppd");
}

}  // namespace

// Field 2 is the command in parentheses and may itself hold spaces and
// parentheses, so the counting starts after the last ')', where field 3 begins.
std::optional<ProcStat> ParseStat(std::string_view stat) {
  const std::size_t close = stat.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  std::string_view rest = stat.substr(close + 1);
  if (const std::size_t newline = rest.find('\n'); newline != std::string_view::npos) {
    rest = rest.substr(0, newline);
  }
  ProcStat result;
  for (int number = 3; number <= 22; ++number) {
    const std::string_view field = NextField(rest);
    if (field.empty()) return std::nullopt;
    if (number == 3) result.state = field.front();
    if (number == 4) {
      const auto parent = ParseNumber<pid_t>(field);
      if (!parent) return std::nullopt;
      result.parent = *parent;
    }
    if (number == 22) {
      const auto start = ParseNumber<unsigned long long>(field);
      if (!start) return std::nullopt;
      result.startTime = *start;
    }
  }
  return result;
}

// A later option overrides an earlier one, as it does for pppd.
PppdArguments ParseArguments(std::string_view cmdline) {
  std::vector<std::string_view> args;
  while (!cmdline.empty()) {
    const std::size_t end = std::min(cmdline.find('\0'), cmdline.size());
    args.push_back(cmdline.substr(0, end));
    cmdline.remove_prefix(std::min(end + 1, cmdline.size()));
  }
  std::string_view linkname, call, ifname;
  PppdArguments result;
  for (std::size_t i = 1; i + 1 < args.size(); ++i) {  // args[0] is pppd itself
    const std::string_view value = args[i + 1];
    if (args[i] == "linkname") linkname = value;
    if (args[i] == "call") call = value;
    if (args[i] == "ifname") ifname = value;
    if (args[i] == "plugin") {
      const std::string_view plugin = BaseName(value);
      // NetworkManager's plugin: nm-pppd-plugin.so, later libnm-ppp-plugin.so.
      if (plugin.starts_with("nm-pppd-plugin") || plugin.starts_with("libnm-ppp-plugin")) {
        result.networkManagerPlugin = true;
      }
    }
  }
  result.name = !linkname.empty() ? linkname : !call.empty() ? call : ifname;
  return result;
}

std::string InterfaceFromPidFile(std::string_view fileName, std::string_view contents, pid_t pid) {
  if (!fileName.ends_with(".pid") || !fileName.starts_with("ppp")) return {};
  const std::size_t end = std::min(contents.find('\n'), contents.size());
  if (ParseNumber<pid_t>(contents.substr(0, end)) != pid) return {};
  std::string_view second = contents.substr(std::min(end + 1, contents.size()));
  second = second.substr(0, std::min(second.find('\n'), second.size()));
  if (!second.empty()) return std::string(second);
  const std::string_view stem = fileName.substr(0, fileName.size() - 4);
  if (stem.starts_with("ppp-") || stem.size() <= 3) return {};
  return std::string(stem);
}

int ProcessSignals::Open(pid_t pid) {
#if defined(SYS_pidfd_open)
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

int ProcessSignals::Signal(int pidfd, int signal) {
#if defined(SYS_pidfd_send_signal)
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
#else
  (void)pidfd;
  (void)signal;
  errno = ENOSYS;
  return -1;
#endif
}

int ProcessSignals::Kill(pid_t pid, int signal) { return ::kill(pid, signal); }

void ProcessSignals::Close(int pidfd) { ::close(pidfd); }

namespace {
ProcessSignals& KernelSignals() {
  static ProcessSignals kernel;
  return kernel;
}
}  // namespace

PppdDialup::PppdDialup(std::filesystem::path procRoot, std::filesystem::path runRoot,
                       ProcessSignals* processSignals)
    : procRoot_(std::move(procRoot)),
      runRoot_(std::move(runRoot)),
      signals_(processSignals ? processSignals : &KernelSignals()) {}

std::string PppdDialup::HeldInterface(pid_t pid) const {
  std::error_code error;
  std::filesystem::directory_iterator entry(runRoot_, error);
  for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
    const std::string file = entry->path().filename().string();
    if (!file.starts_with("ppp") || !file.ends_with(".pid")) continue;
    const std::optional<std::string> contents = ReadFile(entry->path(), kMaxSmallFile);
    if (!contents) continue;
    std::string interface = InterfaceFromPidFile(file, *contents, pid);
    if (!interface.empty()) return interface;
  }
  return {};
}

std::optional<PppdLink> PppdDialup::Read(pid_t pid) const {
  // Any of these files may vanish as the process ends: it is then not listed.
  const std::filesystem::path dir = procRoot_ / std::to_string(pid);
  if (!IsPppdComm(ReadFile(dir / "comm", kMaxSmallFile))) return std::nullopt;
  const std::optional<std::string> stat = ReadFile(dir / "stat", kMaxSmallFile);
  if (!stat) return std::nullopt;
  const std::optional<ProcStat> fields = ParseStat(*stat);
  // One that has ended holds no link, though its parent has not reaped it yet.
  if (!fields || fields->state == 'Z' || fields->state == 'X') return std::nullopt;
  // A pppd that would not show its arguments is still listed, by another name.
  const PppdArguments args = ParseArguments(ReadFile(dir / "cmdline", kMaxCmdline).value_or(""));

  PppdLink link{pid, fields->startTime, args.name, false};
  if (args.networkManagerPlugin) {
    const std::optional<std::string> parent =
        ReadFile(procRoot_ / std::to_string(fields->parent) / "comm", kMaxSmallFile);
    link.startedByNetworkManager =
        parent && (*parent == "NetworkManager\n" || *parent == "NetworkManager");
  }
  if (link.name.empty()) link.name = HeldInterface(pid);
  if (link.name.empty()) link.name = "pppd " + std::to_string(pid);
  return link;
}

std::vector<PppdLink> PppdDialup::List() const {
  std::vector<PppdLink> links;
  std::error_code error;
  std::filesystem::directory_iterator entry(procRoot_, error);
  for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
    const std::optional<pid_t> pid = ParseNumber<pid_t>(entry->path().filename().string());
    if (!pid || *pid <= 0) continue;
    if (std::optional<PppdLink> link = Read(*pid)) links.push_back(std::move(*link));
  }
  std::sort(links.begin(), links.end(),
            [](const PppdLink& a, const PppdLink& b) { return a.pid < b.pid; });
  return links;
}

int PppdDialup::HangUp(const PppdLink& link) const {
  if (link.pid <= 0 || link.startedByNetworkManager) return ESRCH;
  // Pin the process first and check it afterwards: whatever the check sees
  // is then the process that the signal goes to, or that signal fails.
  const int pidfd = signals_->Open(link.pid);
  if (pidfd < 0 && errno != ENOSYS) return errno == EINVAL ? ESRCH : errno;
  const std::optional<PppdLink> now = Read(link.pid);
  const bool same = now && now->startTime == link.startTime && !now->startedByNetworkManager;
  int result = ESRCH;
  if (same) {
    // Without a pidfd (kernels before 5.3) the pid could, in principle, be
    // reused between the check and kill(2); pppd's pids are seldom reused
    // that fast.
    const int sent =
        pidfd >= 0 ? signals_->Signal(pidfd, SIGTERM) : signals_->Kill(link.pid, SIGTERM);
    result = sent == 0 ? 0 : errno;
  }
  if (pidfd >= 0) signals_->Close(pidfd);
  return result;
}

}  // namespace platform::linux_ras
