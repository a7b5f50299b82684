#include "dialup/module1.h"

#include <cstdint>
#include <memory>

#include "dialup/rasconna.h"
#include "platform/ras.h"

namespace Module1 {

void HangUpConnections() {
  // A fresh, zero-filled buffer on every call: nothing is kept between calls.
  auto records = std::make_unique<RASCONNA[]>(kBufferRecords);
  records[0].dwSize = sizeof(RASCONNA);
  std::uint32_t bufferBytes = sizeof(RASCONNA) * kBufferRecords;
  std::uint32_t count = 0;

  if (platform::RasEnumConnectionsA(records.get(), &bufferBytes, &count) != platform::kRasSuccess) {
    return;  // any failure, "buffer too small" included, touches nothing
  }
  // The service never reports more than fits; should it, read no further.
  if (count > kBufferRecords) count = kBufferRecords;

  for (std::uint32_t i = 0; i < count; ++i) {
    if (records[i].szEntryName[0] != '\0') {
      platform::RasHangUpA(records[i].hrasconn);  // result deliberately ignored
    }
  }
}

}  // namespace Module1
