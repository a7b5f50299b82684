// The hang-up routine over a Remote Access Service that answers anything: it hangs up exactly
// the named connections among those it may read, in order, only when the listing succeeded.
#include <cstring>
#include <vector>

#include "dialup/module1.h"
#include "dialup/rasconna.h"
#include "fuzz/check.h"
#include "platform/ras.h"

static FuzzedDataProvider* input = nullptr;
static std::vector<Module1::HRASCONN> expected, hungUp;
static int enumerations = 0;

namespace platform {

std::uint32_t RasEnumConnectionsA(Module1::RASCONNA* buffer, std::uint32_t* bytes,
                                  std::uint32_t* count) {
  ++enumerations;  // what the routine hands over is fixed
  Check(buffer && bytes && count && buffer[0].dwSize == sizeof *buffer && *count == 0 &&
        *bytes == sizeof *buffer * Module1::kBufferRecords);
  const std::uint32_t result =
      input->ConsumeBool() ? kRasSuccess : input->ConsumeIntegral<std::uint32_t>();
  const std::size_t written =
      input->ConsumeIntegralInRange<std::size_t>(0, *bytes / sizeof *buffer);
  for (std::size_t i = 0; i < written && input->remaining_bytes() > 0; ++i) {
    buffer[i].hrasconn = input->ConsumeIntegral<Module1::HRASCONN>();
    // The name field and what follows it, maybe with no zero byte.
    const std::vector<std::uint8_t> name = input->ConsumeBytes<std::uint8_t>(
        input->ConsumeIntegralInRange<std::size_t>(0, sizeof *buffer - 8));
    if (!name.empty()) std::memcpy(buffer[i].szEntryName, name.data(), name.size());
  }
  *count = input->ConsumeBool() ? written : input->ConsumeIntegral<std::uint32_t>();
  *bytes = input->ConsumeIntegral<std::uint32_t>();
  for (std::size_t i = 0;
       result == kRasSuccess && i < std::min<std::size_t>(*count, Module1::kBufferRecords); ++i)
    if (buffer[i].szEntryName[0] != '\0') expected.push_back(buffer[i].hrasconn);
  return result;
}

std::uint32_t RasHangUpA(Module1::HRASCONN connection) {
  hungUp.push_back(connection);
  return input->ConsumeIntegral<std::uint32_t>();
}

}  // namespace platform

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  input = &provider;
  expected = hungUp = {};
  enumerations = 0;
  Module1::HangUpConnections();
  Check(enumerations == 1 && hungUp == expected);
  return 0;
}
