// The Remote Access connection record that HangUpConnections hands to
// RasEnumConnectionsA. Only dwSize, hrasconn and szEntryName are used.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
// Pulls in the system's own RASCONNA for the 64-bit build; the 32-bit build
// uses the 412-byte layout below, which Windows still accepts.
#include <ras.h>
// <ras.h> spells these names as macros; from here on they are the names
// below. The system's record stays reachable as tagRASCONNA.
#undef RASCONNA
#undef RAS_MaxEntryName
#undef RAS_MaxDeviceType
#undef RAS_MaxDeviceName
#endif

namespace Module1 {

// Lengths of the text fields, without their terminating zero byte.
inline constexpr std::size_t RAS_MaxEntryName = 256;
inline constexpr std::size_t RAS_MaxDeviceType = 16;
inline constexpr std::size_t RAS_MaxDeviceName = 128;

#if defined(_WIN64)
// There is no 412-byte record on 64-bit Windows: its Remote Access Service
// only takes the records of its own headers, so the 64-bit build uses the
// platform's RASCONNA as it is.
using RASCONNA = ::tagRASCONNA;
using HRASCONN = ::HRASCONN;
#else
#if defined(_WIN32)
using HRASCONN = ::HRASCONN;  // a 32-bit handle on this build
#else
// Elsewhere our own dial-up layer hands out small numbers as handles, so the
// record keeps the 32-bit layout on every build.
using HRASCONN = std::uint32_t;
#endif

#pragma pack(push, 4)
struct RASCONNA {
  std::uint32_t dwSize;
  HRASCONN hrasconn;
  char szEntryName[RAS_MaxEntryName + 1];
  char szDeviceType[RAS_MaxDeviceType + 1];
  char szDeviceName[RAS_MaxDeviceName + 1];
};  // 411 bytes of fields, one byte of alignment
#pragma pack(pop)

static_assert(sizeof(HRASCONN) == 4);
static_assert(offsetof(RASCONNA, dwSize) == 0);
static_assert(offsetof(RASCONNA, hrasconn) == 4);
static_assert(offsetof(RASCONNA, szEntryName) == 8);
static_assert(offsetof(RASCONNA, szDeviceType) == 265);
static_assert(offsetof(RASCONNA, szDeviceName) == 282);
static_assert(sizeof(RASCONNA) == 412);
#endif

// The number of records in the enumeration buffer.
inline constexpr std::size_t kBufferRecords = 256;

}  // namespace Module1
