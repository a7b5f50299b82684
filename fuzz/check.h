// The input as typed values, and a property that aborts when it fails, so libFuzzer keeps the
// input.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

inline void Check(bool condition) {
  if (!condition) std::abort();
}
