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
  if (buffer[0].dwSize != sizeof(Module1::RASCONNA)) return kRasInvalidSize;

  const std::size_t fits = *bufferBytes / sizeof(Module1::RASCONNA);
  const std::size_t written = std::min(fits, ras.connections.size());
  for (std::size_t i = 0; i < written; ++i) {
    Module1::RASCONNA& r = buffer[i];
    std::memset(&r, 0, sizeof r);
    r.dwSize = sizeof r;
    r.hrasconn = ras.connections[i].handle;
    const std::string& name = ras.connections[i].entryName;
    std::memcpy(r.szEntryName, name.data(), std::min(name.size(), sizeof r.szEntryName));
    if (name.size() >= sizeof r.szEntryName) {
      // No terminator: every byte after the field, to the end of the
      // record, is a marker that a read past the field would run into.
      auto* after = reinterpret_cast<unsigned char*>(r.szEntryName) + sizeof r.szEntryName;
      std::memset(after, 'M', reinterpret_cast<unsigned char*>(&r + 1) - after);
    }
  }
  *count = static_cast<std::uint32_t>(ras.connections.size());
  const std::uint32_t needed =
      static_cast<std::uint32_t>(ras.connections.size() * sizeof(Module1::RASCONNA));
  if (ras.enumError) return *ras.enumError;
  if (*bufferBytes < needed) {
    *bufferBytes = needed;
    return kRasBufferTooSmall;
  }
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
