// A Remote Access Service for tests: what it lists, and what was hung up.
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

RasService& Ras();  // the one platform::Ras* use; tests reset it

// Connection handle number `n`: a pointer on Windows, a small number elsewhere.
template <typename H = Module1::HRASCONN>
H Handle(std::uintptr_t n) {
  if constexpr (std::is_pointer_v<H>)
    return reinterpret_cast<H>(n);
  else
    return static_cast<H>(n);
}

}  // namespace fake
