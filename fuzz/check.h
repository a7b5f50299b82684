// What the fuzz targets share: the input as typed values, and a property
// that, should it not hold, aborts, so that libFuzzer keeps the input.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

inline void Check(bool condition) {
  if (!condition) std::abort();
}
