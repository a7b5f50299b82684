// A Remote Access Service for tests: what it lists and what was hung up. What it lists stays
// listed after a hang-up: no test needs it gone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dialup/rasconna.h"

namespace fake {

struct RasConnection {
  Module1::HRASCONN handle;
  std::string entryName;
};

struct RasService {
  std::vector<RasConnection> connections;
  std::vector<Module1::HRASCONN> hangUps;
  // What the listing answers instead of its own code, once it wrote the records that fit and the
  // count of all, as a faulty service might.
  std::optional<std::uint32_t> result = {};
};

RasService& Ras();  // the one platform::Ras* use; tests reset it

// Connection handle number `n`: a pointer on Windows, a small number elsewhere.
inline Module1::HRASCONN Handle(std::uintptr_t n) { return Module1::HRASCONN(n); }

}  // namespace fake
