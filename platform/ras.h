// The two Remote Access calls that the hang-up routine makes.
//
// On Windows they forward to rasapi32's exports of the same names; on Linux
// they are our own dial-up layer (NetworkManager, else pppd); the tests link
// a double. Exactly one of these is linked into each program.
//
// The names are Windows' Remote Access Service's; on Linux they stand for:
// - RasEnumConnectionsA: one listing of NetworkManager's active dial-up
//   connections (mobile broadband, PPPoE, ADSL, Bluetooth DUN, VPNs) and of
//   the pppd processes NetworkManager did not start;
// - RasHangUpA: DeactivateConnection for a NetworkManager connection,
//   SIGTERM, as poff sends it, for a pppd;
// - HRASCONN: a small number naming a connection of the last listing;
// - RASCONNA: one listed connection: its handle, its name (a connection's
//   `id`, a pppd link's name), a device type and name.
#pragma once

#include <cstdint>

#include "dialup/rasconna.h"

namespace platform {

// Success, as the Remote Access Service reports it.
inline constexpr std::uint32_t kRasSuccess = 0;
// Returned when the buffer holds fewer records than there are connections.
inline constexpr std::uint32_t kRasBufferTooSmall = 603;
// Returned for a record size the service does not know.
inline constexpr std::uint32_t kRasInvalidSize = 632;
// Returned for a handle that names no connection.
inline constexpr std::uint32_t kRasInvalidHandle = 6;

// Fills `buffer` (whose record 0 carries dwSize) with the active connections.
// `bufferBytes` holds the buffer's size and receives the size needed;
// `count` receives the number of records written. Returns 0 on success.
std::uint32_t RasEnumConnectionsA(Module1::RASCONNA* buffer, std::uint32_t* bufferBytes,
                                  std::uint32_t* count);

// Asks for the connection to be ended; does not wait for it to close.
std::uint32_t RasHangUpA(Module1::HRASCONN connection);

}  // namespace platform
