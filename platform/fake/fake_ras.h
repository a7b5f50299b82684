// A Remote Access Service for tests: the connections a test lists, and a log
// of what was hung up.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "dialup/rasconna.h"

namespace fake {

struct RasConnection {
  Module1::HRASCONN handle;
  std::string entryName;
  bool closesOnHangUp = true;
};

struct RasService {
  std::vector<RasConnection> connections;
  std::vector<Module1::HRASCONN> hangUps;
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
