// The hang-up routine over a Remote Access Service that answers anything:
// any result, count and buffer size, any bytes in the records it writes.
// Whatever it answers, the routine hangs up exactly the named connections
// among those it may read, in order, and only when the listing succeeded.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dialup/module1.h"
#include "dialup/rasconna.h"
#include "fuzz/check.h"
#include "platform/ras.h"

namespace {

using fuzz::Check;
using Module1::HRASCONN;
using Module1::RASCONNA;

FuzzedDataProvider* input = nullptr;
std::vector<HRASCONN> expected;
std::vector<HRASCONN> hungUp;
int enumerations = 0;

}  // namespace

namespace platform {

std::uint32_t RasEnumConnectionsA(RASCONNA* buffer, std::uint32_t* bufferBytes,
                                  std::uint32_t* count) {
  ++enumerations;
  // What the routine hands over is fixed.
  Check(buffer != nullptr && bufferBytes != nullptr && count != nullptr);
  Check(buffer[0].dwSize == sizeof(RASCONNA));
  Check(*bufferBytes == sizeof(RASCONNA) * Module1::kBufferRecords);
  Check(*count == 0);

  const std::uint32_t result =
      input->ConsumeBool() ? kRasSuccess : input->ConsumeIntegral<std::uint32_t>();
  const std::size_t written =
      input->ConsumeIntegralInRange<std::size_t>(0, *bufferBytes / sizeof(RASCONNA));
  for (std::size_t i = 0; i < written && input->remaining_bytes() > 0; ++i) {
    RASCONNA& record = buffer[i];
    record.hrasconn = input->ConsumeIntegral<HRASCONN>();
    // The name field and whatever follows it, possibly with no zero byte.
    const std::vector<std::uint8_t> bytes = input->ConsumeBytes<std::uint8_t>(
        input->ConsumeIntegralInRange<std::size_t>(0, sizeof record - 8));
    if (!bytes.empty()) std::memcpy(record.szEntryName, bytes.data(), bytes.size());
  }
  // The count may be the truth or anything at all, and so may the size.
  *count = input->ConsumeBool() ? static_cast<std::uint32_t>(written)
                                : input->ConsumeIntegral<std::uint32_t>();
  *bufferBytes = input->ConsumeIntegral<std::uint32_t>();

  if (result == kRasSuccess) {
    const std::size_t readable = std::min<std::size_t>(*count, Module1::kBufferRecords);
    for (std::size_t i = 0; i < readable; ++i) {
      if (buffer[i].szEntryName[0] != '\0') expected.push_back(buffer[i].hrasconn);
    }
  }
  return result;
}

std::uint32_t RasHangUpA(HRASCONN connection) {
  hungUp.push_back(connection);
  return input->ConsumeIntegral<std::uint32_t>();
}

}  // namespace platform

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  input = &provider;
  expected.clear();
  hungUp.clear();
  enumerations = 0;
  Module1::HangUpConnections();
  Check(enumerations == 1);
  Check(hungUp == expected);
  return 0;
}
