// The hang-up routine, Module1::HangUpConnections, over a Remote Access double that answers
// anything: any result code, any count (beyond the buffer's 256 records too), any size needed,
// records with names of every length, unterminated, and names written past the count. On
// Windows the answers are the Remote Access Service's, another program's. What must hold: the
// routine never reads outside its 256-record buffer (AddressSanitizer sees each record, the
// buffer being exactly their size), hands the service a buffer it may fill, and hangs up exactly
// the records within the count whose name is not empty, in their order, and nothing at all
// when the listing failed.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "dialup/module1.h"
#include "dialup/rasconna.h"
#include "platform/ras.h"

using Module1::HRASCONN;
using Module1::RASCONNA;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

FuzzedDataProvider* answers = nullptr;  // this input's, while the routine runs
std::vector<HRASCONN> expected;         // the hang-ups it must ask for, in order
std::vector<HRASCONN> hungUp;           // those it asked for
int listings = 0;

}  // namespace

namespace platform {

std::uint32_t RasEnumConnectionsA(RASCONNA* buffer, std::uint32_t* bufferBytes,
                                  std::uint32_t* count) {
  FuzzedDataProvider& in = *answers;
  ++listings;
  Check(buffer != nullptr && bufferBytes != nullptr && count != nullptr);
  Check(buffer[0].dwSize == sizeof(RASCONNA));
  Check(*bufferBytes == sizeof(RASCONNA) * Module1::kBufferRecords);
  const std::size_t records = *bufferBytes / sizeof(RASCONNA);

  // Records written, from the first; their names of any length, zero-ended or not.
  const std::size_t written = in.ConsumeIntegralInRange<std::size_t>(0, records);
  std::vector<bool> named(written);
  for (std::size_t i = 0; i < written; ++i) {
    RASCONNA& record = buffer[i];
    record.dwSize = in.ConsumeIntegral<std::uint32_t>();
    record.hrasconn = in.ConsumeIntegral<HRASCONN>();
    const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(0, sizeof record.szEntryName);
    std::memset(record.szEntryName, 'n', length);
    if (length < sizeof record.szEntryName) record.szEntryName[length] = '\0';
    if (in.ConsumeBool()) {
      std::memset(record.szDeviceType, 't', sizeof record.szDeviceType);
      std::memset(record.szDeviceName, 'd', sizeof record.szDeviceName);
    }
    named[i] = length > 0;
  }
  std::uint32_t result = kRasSuccess;
  if (in.ConsumeBool()) result = in.ConsumeIntegral<std::uint32_t>();
  *count = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint32_t>(0, records + 2)
                            : in.ConsumeIntegral<std::uint32_t>();
  *bufferBytes = in.ConsumeIntegral<std::uint32_t>();

  // Records the service did not write are as the routine made them: zero, without a name.
  if (result == kRasSuccess) {
    for (std::size_t i = 0; i < std::min<std::size_t>(*count, records); ++i) {
      if (i < written && named[i]) expected.push_back(buffer[i].hrasconn);
    }
  }
  return result;
}

std::uint32_t RasHangUpA(HRASCONN connection) {
  hungUp.push_back(connection);
  return answers->ConsumeIntegral<std::uint32_t>();
}

}  // namespace platform

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  answers = &in;
  for (int call = 0; call < 4 && in.remaining_bytes() > 0; ++call) {
    expected.clear();
    hungUp.clear();
    listings = 0;
    Module1::HangUpConnections();
    Check(listings == 1);
    Check(hungUp == expected);
  }
  answers = nullptr;
  return 0;
}
