// What the fuzz targets assert: a property that does not hold aborts, and
// libFuzzer keeps the input that broke it.
#pragma once

#include <cstdlib>

namespace fuzz {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace fuzz
