#include "platform/fake/fake_ras.h"

#include <algorithm>
#include <cstring>

#include "platform/ras.h"

fake::RasService& fake::Ras() {
  static RasService service;
  return service;
}

std::uint32_t platform::RasEnumConnectionsA(Module1::RASCONNA* buffer, std::uint32_t* bufferBytes,
                                            std::uint32_t* count) {
  fake::RasService& ras = fake::Ras();
  ras.enumerations.push_back({buffer[0].dwSize, *bufferBytes, *count});
  if (buffer[0].dwSize != sizeof(Module1::RASCONNA)) return kRasInvalidSize;
  const std::size_t n = ras.connections.size();
  for (std::size_t i = 0; i < std::min<std::size_t>(n, *bufferBytes / sizeof *buffer); ++i) {
    buffer[i] = {};
    buffer[i].dwSize = sizeof *buffer;
    buffer[i].hrasconn = ras.connections[i].handle;
    const std::string& name = ras.connections[i].entryName;
    std::memcpy(buffer[i].szEntryName, name.data(),
                std::min(name.size(), sizeof buffer->szEntryName));
  }
  *count = static_cast<std::uint32_t>(n);
  if (ras.enumError) return *ras.enumError;
  if (*bufferBytes >= n * sizeof *buffer) return kRasSuccess;
  *bufferBytes = static_cast<std::uint32_t>(n * sizeof *buffer);
  return kRasBufferTooSmall;
}

std::uint32_t platform::RasHangUpA(Module1::HRASCONN connection) {
  fake::RasService& ras = fake::Ras();
  ras.hangUps.push_back(connection);
  auto it = std::find_if(ras.connections.begin(), ras.connections.end(),
                         [&](const fake::RasConnection& c) { return c.handle == connection; });
  if (it == ras.connections.end()) return kRasInvalidHandle;
  if (it->closesOnHangUp) ras.connections.erase(it);
  return kRasSuccess;
}
