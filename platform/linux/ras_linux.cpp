// The Remote Access calls on Linux. The dial-up connections are
// NetworkManager's, then every running pppd that NetworkManager did not start.
//
// Handles are small numbers, 1 for the first listed connection and so on,
// that stand for what RasEnumConnectionsA listed until it is called again.
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
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
#include "platform/trace.h"

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
using Target = std::variant<std::monostate, std::string, PppdLink>;

struct Listed {
  std::string name;
  std::string deviceType;
  std::string deviceName;
  Target target;
};

struct State {
  std::mutex mutex;
  std::vector<Target> handles;     // handle h stands for handles[h - 1]
  std::vector<std::string> names;  // of what the handles stand for
  // Set once NetworkManager has let a hang-up time out: the rest of this
  // listing is not hung up, so a stalled NetworkManager costs one timeout.
  bool nmStalled = false;
  // When each refusal was last written, so that the schedule's hundreds of
  // calls a second write it once a minute.
  std::map<std::string, std::chrono::steady_clock::time_point> reported;
};

State& GetState() {
  static State state;
  return state;
}

// Connects to the system bus on first use, and again after losing it.
linux_ras::NmDialup& NetworkManager() {
  static linux_ras::NmDialup networkManager(linux_ras::ConnectToSystemBus);
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

// Writes `text` to standard error (the journal, for a desktop launch) at
// most once a minute for each `key`: a connection, or a failure of the listing. Names come from
// other programs, so anything but printable ASCII is written as \xNN.
void Report(State& state, const std::string& key, const std::string& text) {
  const auto now = std::chrono::steady_clock::now();
  std::erase_if(state.reported,
                [&](const auto& entry) { return now - entry.second >= std::chrono::minutes(1); });
  if (!state.reported.emplace(key, now).second) return;
  // A line of the journal, not a dump: a name from a long command line is cut.
  constexpr std::size_t kMaxShown = 1024;
  std::string shown;
  for (const unsigned char c : text.substr(0, kMaxShown)) {
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    }
  }
  std::fprintf(stderr, "prekidnik: %s\n", shown.c_str());
}

// The dial-up connections now up: NetworkManager's, then the pppd links it
// did not start. Should NetworkManager fail to answer, the pppd links are
// still listed, so that a link dialled by hand is hung up all the same.
void ListConnections(State& state, std::vector<Listed>& listed) {
  std::vector<linux_ras::NmLink> links;
  std::string reason;
  switch (NetworkManager().List(links, &reason)) {
    case NmResult::kOk:
      for (linux_ras::NmLink& link : links) {
        listed.push_back(
            {std::move(link.id), link.deviceType, std::move(link.type), Target(link.activePath)});
      }
      break;
    case NmResult::kAbsent:
    case NmResult::kGone:
      break;
    case NmResult::kFailed:
      Report(state, "list " + reason, "NetworkManager did not list its connections: " + reason);
      break;
    case NmResult::kTimedOut:
      Report(state, "list", "NetworkManager did not list its connections in time");
      break;
  }
  for (PppdLink& link : Pppd().List()) {
    // NetworkManager's own pppd is hung up through NetworkManager only.
    if (link.startedByNetworkManager) continue;
    listed.push_back({link.name, "modem", "pppd", Target(std::move(link))});
  }
}

}  // namespace

std::uint32_t RasEnumConnectionsA(Module1::RASCONNA* buffer, std::uint32_t* bufferBytes,
                                  std::uint32_t* count) {
  forms::Trace("RasEnumConnectionsA");
  if (bufferBytes == nullptr || count == nullptr) return kRasInvalidParameter;
  if (buffer == nullptr && *bufferBytes != 0) return kRasInvalidParameter;
  if (buffer != nullptr && buffer->dwSize != sizeof(Module1::RASCONNA)) return kRasInvalidSize;

  State& state = GetState();
  const std::lock_guard lock(state.mutex);
  state.handles.clear();
  state.names.clear();
  state.nmStalled = false;
  *count = 0;

  std::vector<Listed> listed;
  ListConnections(state, listed);

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
    state.names.push_back(std::move(listed[i].name));
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
  const std::string& name = state.names[connection - 1];

  // A refusal (a pppd of another user, polkit saying no) is written down and
  // ends nothing else: the routine goes on with the next connection.
  if (const auto* path = std::get_if<std::string>(&target)) {
    if (state.nmStalled) return kRasServiceUnavailable;
    std::string reason;
    const NmResult result = NetworkManager().Deactivate(*path, &reason);
    switch (result) {
      case NmResult::kOk:
        return kRasSuccess;
      case NmResult::kGone:
        return kRasNoConnection;
      case NmResult::kTimedOut:
        state.nmStalled = true;
        reason = "NetworkManager did not answer in time";
        break;
      case NmResult::kAbsent:
      case NmResult::kFailed:
        break;
    }
    Report(state, *path, "could not hang up \"" + name + "\": " + reason);
    return kRasNoConnection;
  }
  if (const auto* link = std::get_if<PppdLink>(&target)) {
    const int error = Pppd().HangUp(*link);
    if (error == 0) return kRasSuccess;
    if (error != ESRCH) {
      Report(state, "pppd " + std::to_string(link->pid) + " " + std::to_string(link->startTime),
             "could not hang up \"" + name + "\" (pppd " + std::to_string(link->pid) +
                 "): " + std::strerror(error));
    }
    return kRasNoConnection;
  }
  return kRasInvalidHandle;
}

}  // namespace platform
