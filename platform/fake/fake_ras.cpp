// The test double of the Remote Access calls (platform/ras.h) that the logic tests link in place
// of a platform's.
#include "platform/fake/fake_ras.h"

#include <algorithm>

#include "platform/ras.h"

fake::RasService& fake::Ras() {
  static RasService service;
  return service;
}

std::uint32_t platform::RasEnumConnectionsA(Module1::RASCONNA* buffer, std::uint32_t* bufferBytes,
                                            std::uint32_t* count) {
  const std::vector<fake::RasConnection>& listed = fake::Ras().connections;
  const std::size_t fits = std::min<std::size_t>(listed.size(), *bufferBytes / sizeof *buffer);
  for (std::size_t i = 0; i < fits; ++i) {
    buffer[i].hrasconn = listed[i].handle;
    listed[i].entryName.copy(buffer[i].szEntryName, sizeof buffer->szEntryName - 1);
  }
  *count = static_cast<std::uint32_t>(listed.size());
  return fake::Ras().result.value_or(fits < listed.size() ? kRasBufferTooSmall : kRasSuccess);
}

std::uint32_t platform::RasHangUpA(Module1::HRASCONN connection) {
  fake::Ras().hangUps.push_back(connection);
  return kRasSuccess;
}
