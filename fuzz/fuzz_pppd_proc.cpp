// A stat line, a command line and a pid file as any bytes: what is read out of them is in them.
#include "fuzz/check.h"
#include "platform/linux/pppd_dialup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace platform::linux_ras;
  FuzzedDataProvider in(data, size);
  const std::string stat = in.ConsumeRandomLengthString(512);
  const std::string fileName = in.ConsumeRandomLengthString(32);
  const std::string pidFile = in.ConsumeRandomLengthString(64);
  const pid_t pid = in.ConsumeIntegral<pid_t>();
  const std::string cmdline = in.ConsumeRemainingBytesAsString();
  if (const auto fields = ParseStat(stat)) {
    Check(stat.find(')') != std::string::npos &&
          stat.find(std::to_string(fields->startTime)) != std::string::npos);
  }
  // A name is a whole argument of its own.
  const std::string name = ParseArguments(cmdline).name;
  Check(name.empty() ||
        (cmdline.find('\0' + name) != std::string::npos && name.find('\0') == std::string::npos));
  const std::string interface = InterfaceFromPidFile(fileName, pidFile, pid);
  Check(interface.empty() || pidFile.find(interface) != std::string::npos ||
        fileName.find(interface) != std::string::npos);
  return 0;
}
