// A stand-in for rasapi32.dll, for the Win32 tests (RasFaults, the time changes) and the
// end-to-end cases under Wine: it lists the connections a variable names, logs every call, and
// keeps a hung-up connection closing a while, so the program's wait at its end has something to
// wait for. Only what a test reads is played: no connection state in the status record (the
// program reads only the answer's code), no size set after an injected error (nothing reads it).
// Its variables, read on each call (the closing time once, at the first hang-up):
//   PREKIDNIK_FAKE_RAS_CLOSING_MS    how long a hung-up connection stays closing
//   PREKIDNIK_FAKE_RAS_CONNECTIONS   "7:Modem;3:;9:Druga linija" (handle:name), anew on a change;
//                                    a name of 257 bytes or more fills its field, unterminated
//   PREKIDNIK_FAKE_RAS_LOG           appended to: "<ms> enum -> R", "<ms> hangup|status H -> R",
//                                    "<ms> detach"
//   PREKIDNIK_FAKE_RAS_ENUM_RESULT   a code the listing returns after writing the records that
//                                    fit and the count
//   PREKIDNIK_FAKE_RAS_HANGUP_RESULT a code every hang-up returns, the connection left up
#include <windows.h>
// The Remote Access headers build on <windows.h>.
#include <ras.h>
#include <raserror.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Connection {
  std::uintptr_t handle;
  std::string name;
  bool hungUp = false;
  DWORD goneAt = 0;  // tick count when a hung-up connection is gone
};

const DWORD start = GetTickCount();
std::string listing;  // PREKIDNIK_FAKE_RAS_CONNECTIONS, as last read
std::vector<Connection> connections;

std::string Env(const char* name) {
  char value[4096];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return std::string(value, n < sizeof value ? n : 0);
}

// An injected result, when its variable is set.
bool Injected(const char* name, DWORD& result) {
  const std::string value = Env(name);
  if (!value.empty()) result = std::strtoul(value.c_str(), nullptr, 10);
  return !value.empty();
}

std::vector<Connection>& Connections() {
  const std::string list = Env("PREKIDNIK_FAKE_RAS_CONNECTIONS");
  if (list != listing) {
    listing = list;
    connections.clear();
    for (std::size_t at = 0, end; at < list.size(); at = end + 1) {
      end = std::min(list.find(';', at), list.size());
      if (const std::size_t colon = list.find(':', at); colon < end)
        connections.push_back(
            {static_cast<std::uintptr_t>(std::strtoull(list.c_str() + at, nullptr, 10)),
             list.substr(colon + 1, end - colon - 1)});
    }
  }
  return connections;
}

void Log(const std::string& call) {
  if (FILE* log = std::fopen(Env("PREKIDNIK_FAKE_RAS_LOG").c_str(), "ab")) {
    std::fprintf(log, "%lu %s\n", GetTickCount() - start, call.c_str());
    std::fclose(log);
  }
}

bool Gone(const Connection& c) { return c.hungUp && LONG(GetTickCount() - c.goneAt) >= 0; }

Connection* Find(HRASCONN handle) {
  for (Connection& c : Connections())
    if (c.handle == reinterpret_cast<std::uintptr_t>(handle) && !Gone(c)) return &c;
  return nullptr;
}

// Where Windows' records hold the handle and the name. (No compile-time check of them: written
// elsewhere, every RasFaults row that hangs up fails.)
constexpr std::size_t kHandleOffset = offsetof(RASCONNA, hrasconn);
constexpr std::size_t kNameOffset = offsetof(RASCONNA, szEntryName);
constexpr std::size_t kNameBytes = RAS_MaxEntryName + 1;

}  // namespace

extern "C" {

DWORD WINAPI FakeRasEnumConnectionsA(RASCONNA* buffer, DWORD* bytes, DWORD* count) {
  const DWORD size = buffer ? buffer->dwSize : 0, bytesIn = bytes ? *bytes : 0;
  std::vector<const Connection*> open;
  for (const Connection& c : Connections())
    if (!Gone(c)) open.push_back(&c);
  const DWORD needed = open.size() * size;
  DWORD result = 0, listed = 0;
  const bool inject = Injected("PREKIDNIK_FAKE_RAS_ENUM_RESULT", result);
  // The record sizes known: the first layout (32-bit only, 412) and that of the headers.
  const bool known = size == sizeof(RASCONNA) || (sizeof(void*) == 4 && size == 412);
  if (!buffer || !bytes || !count || !known) {
    result = ERROR_INVALID_SIZE;
  } else if (bytesIn < needed && !inject) {
    *bytes = needed;
    result = ERROR_BUFFER_TOO_SMALL;
  } else {
    for (; listed < open.size() && (listed + 1) * size <= bytesIn; ++listed) {
      unsigned char* r = reinterpret_cast<unsigned char*>(buffer) + listed * size;
      const Connection& c = *open[listed];
      const HRASCONN handle = reinterpret_cast<HRASCONN>(c.handle);
      std::memset(r, 0, size);
      std::memcpy(r, &size, sizeof size);
      std::memcpy(r + kHandleOffset, &handle, sizeof handle);
      // A name of 257 bytes or more fills its field with no end, as RasFaults' last row needs.
      std::memcpy(r + kNameOffset, c.name.data(), std::min(c.name.size(), kNameBytes));
    }
    *count = inject ? open.size() : listed;
  }
  // Only the result: RasFaults reads this line to know the stand-in was loaded at all.
  Log("enum -> " + std::to_string(result));
  return result;
}

DWORD WINAPI FakeRasHangUpA(HRASCONN handle) {
  static const DWORD closingMs =
      std::strtoul(Env("PREKIDNIK_FAKE_RAS_CLOSING_MS").c_str(), nullptr, 10);
  Connection* c = Find(handle);
  DWORD result = ERROR_INVALID_HANDLE;
  // An injected result refuses it: the connection stays up.
  if (c && !Injected("PREKIDNIK_FAKE_RAS_HANGUP_RESULT", result)) {
    if (!c->hungUp) c->goneAt = GetTickCount() + closingMs;
    c->hungUp = true;
    result = 0;
  }
  Log("hangup " + std::to_string(reinterpret_cast<std::uintptr_t>(handle)) + " -> " +
      std::to_string(result));
  return result;
}

DWORD WINAPI FakeRasGetConnectStatusA(HRASCONN handle, RASCONNSTATUSA* status) {
  const Connection* c = Find(handle);
  DWORD result = !status || status->dwSize < 160 ? ERROR_INVALID_SIZE
                 : c                             ? 0
                                                 : ERROR_INVALID_HANDLE;
  Log("status " + std::to_string(reinterpret_cast<std::uintptr_t>(handle)) + " -> " +
      std::to_string(result));
  return result;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH) Log("detach");
  return TRUE;
}
