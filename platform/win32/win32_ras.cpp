// The Remote Access calls of the hang-up routine, forwarded to rasapi32, and
// the wait for hung-up connections when the program ends.
#include <raserror.h>
#include <windows.h>

#include <cstddef>

#include "platform/ras.h"
#include "platform/win32/hangup_wait.h"

static_assert(platform::kRasSuccess == ERROR_SUCCESS);
static_assert(platform::kRasBufferTooSmall == ERROR_BUFFER_TOO_SMALL);
static_assert(platform::kRasInvalidSize == ERROR_INVALID_SIZE);
static_assert(platform::kRasInvalidHandle == ERROR_INVALID_HANDLE);

namespace {

// The connection status record in its first layout, which every version of
// the service accepts; only the answer's code is read.
struct ConnectStatusRecord {
  DWORD dwSize;
  RASCONNSTATE rasconnstate;
  DWORD dwError;
  CHAR szDeviceType[Module1::RAS_MaxDeviceType + 1];
  CHAR szDeviceName[Module1::RAS_MaxDeviceName + 1];
};
static_assert(sizeof(ConnectStatusRecord) == 160);
static_assert(offsetof(ConnectStatusRecord, szDeviceName) ==
              offsetof(RASCONNSTATUSA, szDeviceName));

std::uint32_t ConnectStatus(Module1::HRASCONN connection) {
  ConnectStatusRecord status = {};
  status.dwSize = sizeof status;
  return ::RasGetConnectStatusA(connection, reinterpret_cast<RASCONNSTATUSA*>(&status));
}

}  // namespace

namespace platform {

std::uint32_t RasEnumConnectionsA(Module1::RASCONNA* buffer, std::uint32_t* bufferBytes,
                                  std::uint32_t* count) {
  // On the 32-bit build the record is the service's first, 412-byte layout;
  // its dwSize tells the service which one it is handed.
  DWORD bytes = *bufferBytes;
  DWORD connections = *count;
  const DWORD result =
      ::RasEnumConnectionsA(reinterpret_cast<::tagRASCONNA*>(buffer), &bytes, &connections);
  *bufferBytes = bytes;
  *count = connections;
  return result;
}

std::uint32_t RasHangUpA(Module1::HRASCONN connection) {
  win32::RecordedHangUps().Add(connection, win32::Clock::now());
  return ::RasHangUpA(connection);
}

}  // namespace platform

namespace win32 {

HangUpRequests& RecordedHangUps() {
  static HangUpRequests requests;
  return requests;
}

void WaitForRecentHangUps() {
  const Clock::time_point now = Clock::now();
  HangUpRequests& requests = RecordedHangUps();
  const std::vector<Module1::HRASCONN> recent = requests.Since(now - kHangUpSettleTime);
  requests.Forget(now);
  if (recent.empty()) return;
  WaitUntilGone(recent, now + kHangUpSettleTime,
                {ConnectStatus, Clock::now,
                 [](std::chrono::milliseconds ms) { Sleep(static_cast<DWORD>(ms.count())); }});
}

}  // namespace win32
