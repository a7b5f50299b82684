#include "platform/linux/pppd_dialup.h"

#include <signal.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>
#include <system_error>
#include <utility>

namespace platform::linux_ras {

namespace {

std::optional<std::string> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
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

// Field 22, the start time, of a /proc/<pid>/stat line. Field 2 is the
// command in parentheses and may itself hold spaces and parentheses, so the
// counting starts after the last ')', where field 3 begins.
std::optional<unsigned long long> StartTime(const std::string& stat) {
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(close + 1));
  std::string field;
  for (int number = 3; number <= 22; ++number) {
    if (!(fields >> field)) return std::nullopt;
  }
  return ParseNumber<unsigned long long>(field);
}

// The name pppd was started for: "linkname NAME", else "call NAME". A later
// option overrides an earlier one, as it does for pppd.
std::string LinkName(const std::string& cmdline) {
  std::vector<std::string_view> args;
  std::string_view rest = cmdline;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\0'), rest.size());
    args.push_back(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  std::string_view linkname;
  std::string_view call;
  for (std::size_t i = 1; i + 1 < args.size(); ++i) {  // args[0] is pppd itself
    if (args[i] == "linkname") linkname = args[i + 1];
    if (args[i] == "call") call = args[i + 1];
  }
  return std::string(!linkname.empty() ? linkname : call);
}

}  // namespace

PppdDialup::PppdDialup(std::filesystem::path procRoot, SignalSender send)
    : procRoot_(std::move(procRoot)), send_(std::move(send)) {
  if (!send_) send_ = [](pid_t pid, int signal) { return ::kill(pid, signal); };
}

std::optional<PppdLink> PppdDialup::Read(pid_t pid) const {
  const std::filesystem::path dir = procRoot_ / std::to_string(pid);
  const std::optional<std::string> comm = ReadFile(dir / "comm");
  if (!comm || (*comm != "pppd\n" && *comm != "pppd")) return std::nullopt;
  const std::optional<std::string> stat = ReadFile(dir / "stat");
  if (!stat) return std::nullopt;
  const std::optional<unsigned long long> startTime = StartTime(*stat);
  if (!startTime) return std::nullopt;
  // A pppd that would not show its arguments is still listed, without a name.
  const std::string cmdline = ReadFile(dir / "cmdline").value_or(std::string());
  return PppdLink{pid, *startTime, LinkName(cmdline)};
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

bool PppdDialup::HangUp(const PppdLink& link) const {
  if (link.pid <= 0) return false;
  const std::optional<PppdLink> now = Read(link.pid);
  if (!now || now->startTime != link.startTime) return false;
  return send_(link.pid, SIGTERM) == 0;
}

}  // namespace platform::linux_ras
