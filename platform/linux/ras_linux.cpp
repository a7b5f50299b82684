// The Remote Access calls on Linux. Dial-up connections are NetworkManager's
// when it is on the system bus, else the running pppd processes.
//
// Handles are small numbers, 1 for the first listed connection and so on,
// that stand for what RasEnumConnectionsA listed until it is called again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(PREKIDNIK_TRACE_TICKS)
#include <cstdio>
#include <ctime>
#endif
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "dialup/rasconna.h"
#include "platform/linux/nm_dialup.h"
#include "platform/linux/pppd_dialup.h"
#include "platform/ras.h"

namespace platform {

namespace {

using linux_ras::NmResult;
using linux_ras::PppdLink;

// Windows' codes for the failures that have none in ras.h.
constexpr std::uint32_t kRasInvalidParameter = 87;     // ERROR_INVALID_PARAMETER
constexpr std::uint32_t kRasNoConnection = 668;        // ERROR_NO_CONNECTION
constexpr std::uint32_t kRasServiceUnavailable = 711;  // ERROR_RASMAN_CANNOT_INITIALIZE

// What a handle stands for: an active connection's object path, a pppd, or
// nothing once it has been hung up.
using Target = std::variant<std::monostate, QString, PppdLink>;

struct Listed {
  std::string name;
  std::string deviceType;
  std::string deviceName;
  Target target;
};

struct State {
  std::mutex mutex;
  std::vector<Target> handles;  // handle h stands for handles[h - 1]
  // Set once NetworkManager has let a hang-up time out: the rest of this
  // listing is not hung up, so a stalled NetworkManager costs one timeout.
  bool nmStalled = false;
};

State& GetState() {
  static State state;
  return state;
}

// Connects to the system bus once, on first use.
const linux_ras::NmDialup& NetworkManager() {
  static const linux_ras::NmDialup networkManager(QDBusConnection::systemBus());
  return networkManager;
}

const linux_ras::PppdDialup& Pppd() {
  static const linux_ras::PppdDialup pppd("/proc");
  return pppd;
}

// Copies `text` into a field of `size` bytes, cut short at a whole UTF-8
// character when too long, and ends it with a zero byte.
void CopyText(char* field, std::size_t size, std::string_view text) {
  std::size_t length = text.size();
  if (length > size - 1) {
    length = size - 1;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

// The dial-up connections now up, or false when they cannot be told.
bool ListConnections(std::vector<Listed>& listed) {
  std::vector<linux_ras::NmLink> links;
  switch (NetworkManager().List(links)) {
    case NmResult::kOk:
      for (const linux_ras::NmLink& link : links) {
        listed.push_back({link.id.toStdString(), link.deviceType, link.type.toStdString(),
                          Target(link.activePath)});
      }
      return true;
    case NmResult::kAbsent:
      break;
    case NmResult::kFailed:
    case NmResult::kTimedOut:
      return false;
  }
  for (const PppdLink& link : Pppd().List()) {
    listed.push_back({link.name, "modem", "pppd", Target(link)});
  }
  return true;
}

}  // namespace

std::uint32_t RasEnumConnectionsA(Module1::RASCONNA* buffer, std::uint32_t* bufferBytes,
                                  std::uint32_t* count) {
#if defined(PREKIDNIK_TRACE_TICKS)
  // Benchmark builds only: "<CLOCK_REALTIME ns> RasEnumConnectionsA" on stderr.
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  std::fprintf(stderr, "%lld%09ld RasEnumConnectionsA\n", static_cast<long long>(now.tv_sec),
               now.tv_nsec);
#endif
  if (bufferBytes == nullptr || count == nullptr) return kRasInvalidParameter;
  if (buffer == nullptr && *bufferBytes != 0) return kRasInvalidParameter;
  if (buffer != nullptr && buffer->dwSize != sizeof(Module1::RASCONNA)) return kRasInvalidSize;

  State& state = GetState();
  const std::lock_guard lock(state.mutex);
  state.handles.clear();
  state.nmStalled = false;
  *count = 0;

  std::vector<Listed> listed;
  if (!ListConnections(listed)) return kRasServiceUnavailable;

  const std::uint64_t needed = std::uint64_t{listed.size()} * sizeof(Module1::RASCONNA);
  if (needed > UINT32_MAX) return kRasServiceUnavailable;
  const bool fits = *bufferBytes >= needed;
  *bufferBytes = static_cast<std::uint32_t>(needed);
  if (!fits) return kRasBufferTooSmall;

  for (std::size_t i = 0; i < listed.size(); ++i) {
    Module1::RASCONNA& record = buffer[i];
    std::memset(&record, 0, sizeof record);
    record.dwSize = sizeof record;
    record.hrasconn = static_cast<Module1::HRASCONN>(i + 1);
    CopyText(record.szEntryName, sizeof record.szEntryName, listed[i].name);
    CopyText(record.szDeviceType, sizeof record.szDeviceType, listed[i].deviceType);
    CopyText(record.szDeviceName, sizeof record.szDeviceName, listed[i].deviceName);
    state.handles.push_back(std::move(listed[i].target));
  }
  *count = static_cast<std::uint32_t>(listed.size());
  return kRasSuccess;
}

std::uint32_t RasHangUpA(Module1::HRASCONN connection) {
  State& state = GetState();
  const std::lock_guard lock(state.mutex);
  if (connection == 0 || connection > state.handles.size()) return kRasInvalidHandle;
  // A connection is hung up once; its handle names nothing after that.
  const Target target = std::exchange(state.handles[connection - 1], std::monostate());

  if (const auto* path = std::get_if<QString>(&target)) {
    if (state.nmStalled) return kRasServiceUnavailable;
    const NmResult result = NetworkManager().Deactivate(*path);
    if (result == NmResult::kTimedOut) state.nmStalled = true;
    return result == NmResult::kOk ? kRasSuccess : kRasNoConnection;
  }
  if (const auto* link = std::get_if<PppdLink>(&target)) {
    return Pppd().HangUp(*link) ? kRasSuccess : kRasNoConnection;
  }
  return kRasInvalidHandle;
}

}  // namespace platform
