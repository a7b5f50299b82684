#include "platform/fake/fake_ras.h"

#include <algorithm>
#include <cstring>

#include "platform/ras.h"

namespace fake {

RasService& Ras() {
  static RasService service;
  return service;
}

}  // namespace fake

namespace platform {

std::uint32_t RasEnumConnectionsA(Module1::RASCONNA* buffer, std::uint32_t* bufferBytes,
                                  std::uint32_t* count) {
  fake::RasService& ras = fake::Ras();
  ++ras.enumerations;
  ras.lastRecordSize = buffer[0].dwSize;
  ras.lastBufferBytes = *bufferBytes;
  ras.lastCountIn = *count;
  if (ras.enumError) return *ras.enumError;
  if (buffer[0].dwSize != sizeof(Module1::RASCONNA)) return kRasInvalidSize;

  const std::uint32_t needed =
      static_cast<std::uint32_t>(ras.connections.size() * sizeof(Module1::RASCONNA));
  if (*bufferBytes < needed) {
    *bufferBytes = needed;
    return kRasBufferTooSmall;
  }
  for (std::size_t i = 0; i < ras.connections.size(); ++i) {
    Module1::RASCONNA& r = buffer[i];
    std::memset(&r, 0, sizeof r);
    r.dwSize = sizeof r;
    r.hrasconn = ras.connections[i].handle;
    const std::string& name = ras.connections[i].entryName;
    std::memcpy(r.szEntryName, name.data(), std::min(name.size(), Module1::RAS_MaxEntryName));
  }
  *count = static_cast<std::uint32_t>(ras.connections.size());
  return kRasSuccess;
}

std::uint32_t RasHangUpA(Module1::HRASCONN connection) {
  fake::RasService& ras = fake::Ras();
  ras.hangUps.push_back(connection);
  auto it = std::find_if(ras.connections.begin(), ras.connections.end(),
                         [&](const fake::RasConnection& c) { return c.handle == connection; });
  if (it == ras.connections.end()) return kRasInvalidHandle;
  if (it->closesOnHangUp) ras.connections.erase(it);
  return kRasSuccess;
}

}  // namespace platform
