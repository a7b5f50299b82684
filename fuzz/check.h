// The input as typed values; a property that fails aborts, so that libFuzzer keeps the input.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

inline void Check(bool condition) {
  if (!condition) std::abort();
}
