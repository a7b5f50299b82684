// A Remote Access Service for tests: a list of connections that the test
// sets, and a log of what the hang-up routine asked for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "dialup/rasconna.h"

namespace fake {

struct RasConnection {
  Module1::HRASCONN handle;
  // Written as it is, up to the 257 bytes of the field: one of 257 bytes or
  // more fills it with no zero byte at its end. A zero byte first is an
  // empty name.
  std::string entryName;
  bool closesOnHangUp = true;
};

struct RasService {
  std::vector<RasConnection> connections;
  // Returned after the listing. Like a careless service, this one writes
  // the records that fit and the full count whatever it returns, so only the
  // routine's own check of the result keeps it from using them.
  std::optional<std::uint32_t> enumError;

  // What the last enumeration was handed.
  std::uint32_t lastRecordSize = 0;
  std::uint32_t lastBufferBytes = 0;
  std::uint32_t lastCountIn = 0;
  int enumerations = 0;
  std::vector<Module1::HRASCONN> hangUps;  // in the order requested
};

// The service the linked platform::Ras* functions use; tests reset it.
RasService& Ras();

// Connection handle number `n`: a pointer on Windows, a small number elsewhere.
template <typename H = Module1::HRASCONN>
H Handle(std::uintptr_t n) {
  if constexpr (std::is_pointer_v<H>)
    return reinterpret_cast<H>(n);
  else
    return static_cast<H>(n);
}

}  // namespace fake
