// A Remote Access Service for tests: the connections a test sets, and a log
// of what the hang-up routine asked for.
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
  std::string entryName;  // a zero byte first is an empty name
  bool closesOnHangUp = true;
};

struct RasService {
  std::vector<RasConnection> connections;
  // Returned after the listing. Like a careless service, this one writes the
  // records that fit and the full count whatever it returns.
  std::optional<std::uint32_t> enumError;
  // What each enumeration was handed: record size, buffer bytes, count.
  std::vector<std::vector<std::uint32_t>> enumerations;
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
