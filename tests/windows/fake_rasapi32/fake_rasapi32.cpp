// A stand-in for rasapi32.dll: it lists the connections an environment
// variable names, logs every call, and keeps a hung-up connection closing for
// a while before it is gone. Read on each call but the closing time:
//
//   PREKIDNIK_FAKE_RAS_CONNECTIONS   "7:Modem;3:;9:Druga linija" (handle:name), started
//                                    afresh whenever it changes; a name of 257 bytes or
//                                    more fills its field, with the marker 'M' after it
//   PREKIDNIK_FAKE_RAS_LOG           the log, appended to: "<ms> enum size=S bytes=B
//                                    count=C -> R listed=N", "<ms> hangup H -> R",
//                                    "<ms> status H -> R", "<ms> detach"
//   PREKIDNIK_FAKE_RAS_CLOSING_MS    how long a hung-up connection stays closing
//   PREKIDNIK_FAKE_RAS_ENUM_RESULT   a code the listing returns once it has written the
//                                    records that fit and the count (603 also sets the
//                                    size it asks for), as a careless service might
//   PREKIDNIK_FAKE_RAS_HANGUP_RESULT a code every hang-up returns, the connection up
//   PREKIDNIK_FAKE_CLOCK_FILE        milliseconds (text) by which the program's
//                                    GetLocalTime runs ahead (behind when negative)
#include <windows.h>
// The Remote Access headers build on <windows.h>.
#include <ras.h>
#include <raserror.h>

#include <algorithm>
#include <cstdarg>
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

struct Service {
  std::string connectionList;  // PREKIDNIK_FAKE_RAS_CONNECTIONS, as last read
  std::vector<Connection> connections;
  std::string logPath;
  DWORD closingMs = 0;
  DWORD start = 0;
};

std::string Env(const char* name) {
  char value[4096];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

Service& State() {
  static Service* service = [] {
    auto* s = new Service;
    s->start = GetTickCount();
    s->closingMs =
        static_cast<DWORD>(std::strtoul(Env("PREKIDNIK_FAKE_RAS_CLOSING_MS").c_str(), nullptr, 10));
    return s;
  }();
  service->logPath = Env("PREKIDNIK_FAKE_RAS_LOG");
  const std::string list = Env("PREKIDNIK_FAKE_RAS_CONNECTIONS");
  if (list != service->connectionList) {
    service->connectionList = list;
    service->connections.clear();
    for (std::size_t at = 0, end; at < list.size(); at = end + 1) {
      end = std::min(list.find(';', at), list.size());
      const std::size_t colon = list.find(':', at);
      if (colon < end)
        service->connections.push_back(
            {static_cast<std::uintptr_t>(std::strtoull(list.c_str() + at, nullptr, 10)),
             list.substr(colon + 1, end - colon - 1)});
    }
  }
  return *service;
}

// An injected result, when its variable is set.
bool Injected(const char* name, DWORD& result) {
  const std::string value = Env(name);
  if (value.empty()) return false;
  result = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
  return true;
}

void Log(const char* format, ...) {
  Service& s = State();
  if (s.logPath.empty()) return;
  char line[512];
  int n = std::snprintf(line, sizeof line, "%lu ", GetTickCount() - s.start);
  va_list args;
  va_start(args, format);
  n += std::vsnprintf(line + n, sizeof line - n, format, args);
  va_end(args);
  if (n > static_cast<int>(sizeof line) - 2) n = sizeof line - 2;
  line[n++] = '\n';
  HANDLE file = CreateFileA(s.logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
  CloseHandle(file);
}

bool Gone(const Connection& c) {
  return c.hungUp && static_cast<LONG>(GetTickCount() - c.goneAt) >= 0;
}

Connection* Find(HRASCONN handle) {
  for (Connection& c : State().connections)
    if (c.handle == reinterpret_cast<std::uintptr_t>(handle) && !Gone(c)) return &c;
  return nullptr;
}

// The record sizes this service knows: the first layout (32-bit only) and
// the one of the headers it was built with. Each starts dwSize, hrasconn,
// szEntryName.
bool KnownSize(DWORD size) {
#if !defined(_WIN64)
  if (size == 412) return true;
#endif
  return size == sizeof(RASCONNA);
}

constexpr std::size_t kHandleOffset = offsetof(RASCONNA, hrasconn);
constexpr std::size_t kNameOffset = offsetof(RASCONNA, szEntryName);
constexpr std::size_t kNameBytes = RAS_MaxEntryName + 1;
static_assert(offsetof(RASCONNA, szDeviceType) == kNameOffset + kNameBytes);
#if !defined(_WIN64)
// A 32-bit caller's records, the 412-byte one included, keep the handle, 32
// bits wide, at 4 and the name at 8: the records are written here the same
// way whatever size the caller names.
static_assert(sizeof(HRASCONN) == 4 && kHandleOffset == 4 && kNameOffset == 8);
#endif

std::string ClockFile() {
  static const std::string path = Env("PREKIDNIK_FAKE_CLOCK_FILE");
  return path;
}

long long ClockOffsetMs() {
  HANDLE file = CreateFileA(ClockFile().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  char text[32] = {};
  DWORD read = 0;
  ReadFile(file, text, sizeof text - 1, &read, nullptr);
  CloseHandle(file);
  return std::strtoll(text, nullptr, 10);
}

// The program's GetLocalTime: the real local time, moved by the offset.
void WINAPI ShiftedLocalTime(SYSTEMTIME* time) {
  SYSTEMTIME now;
  GetLocalTime(&now);  // this DLL's own import: the real one
  FILETIME file;
  SystemTimeToFileTime(&now, &file);
  ULARGE_INTEGER t;
  t.LowPart = file.dwLowDateTime;
  t.HighPart = file.dwHighDateTime;
  t.QuadPart += static_cast<ULONGLONG>(ClockOffsetMs() * 10000);  // 100 ns units, wraps back
  file.dwLowDateTime = t.LowPart;
  file.dwHighDateTime = t.HighPart;
  FileTimeToSystemTime(&file, time);
}

// Points the program's own import of GetLocalTime at ShiftedLocalTime; the
// loader has bound the program's imports before any DLL starts.
void ShiftProgramClock() {
  auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name;
       ++d) {
    if (lstrcmpiA(reinterpret_cast<char*>(base + d->Name), "kernel32.dll") != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(name->Name), "GetLocalTime") != 0) continue;
      DWORD protection;
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(&ShiftedLocalTime);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
    }
  }
}

}  // namespace

extern "C" {

DWORD WINAPI FakeRasEnumConnectionsA(RASCONNA* buffer, DWORD* bytes, DWORD* count) {
  Service& s = State();
  const DWORD size = buffer ? buffer->dwSize : 0;
  const DWORD bytesIn = bytes ? *bytes : 0;
  const DWORD countIn = count ? *count : 0;
  DWORD result = 0;
  DWORD listed = 0;
  std::vector<const Connection*> open;
  for (const Connection& c : s.connections)
    if (!Gone(c)) open.push_back(&c);
  DWORD injected = 0;
  const bool inject = Injected("PREKIDNIK_FAKE_RAS_ENUM_RESULT", injected);
  if (!buffer || !bytes || !count || !KnownSize(size)) {
    result = ERROR_INVALID_SIZE;
  } else if (bytesIn < open.size() * size && !inject) {
    *bytes = static_cast<DWORD>(open.size() * size);
    result = ERROR_BUFFER_TOO_SMALL;
  } else {
    auto* records = reinterpret_cast<unsigned char*>(buffer);
    for (const Connection* c : open) {
      if ((listed + 1) * size > bytesIn) break;
      unsigned char* r = records + listed * size;
      std::memset(r, 0, size);
      std::memcpy(r, &size, sizeof size);
      const HRASCONN handle = reinterpret_cast<HRASCONN>(c->handle);
      std::memcpy(r + kHandleOffset, &handle, sizeof handle);
      std::memcpy(r + kNameOffset, c->name.data(), std::min(c->name.size(), kNameBytes));
      if (c->name.size() >= kNameBytes) r[kNameOffset + kNameBytes] = 'M';
      ++listed;
    }
    *count = inject ? static_cast<DWORD>(open.size()) : listed;
    if (inject) {
      result = injected;
      if (result == ERROR_BUFFER_TOO_SMALL) *bytes = static_cast<DWORD>(open.size() * size);
    }
  }
  Log("enum size=%lu bytes=%lu count=%lu -> %lu listed=%lu", size, bytesIn, countIn, result,
      listed);
  return result;
}

DWORD WINAPI FakeRasHangUpA(HRASCONN handle) {
  Connection* c = Find(handle);
  DWORD result = ERROR_INVALID_HANDLE;
  if (c && Injected("PREKIDNIK_FAKE_RAS_HANGUP_RESULT", result)) {
    // Refused: the connection stays up.
  } else if (c) {
    if (!c->hungUp) {
      c->hungUp = true;
      c->goneAt = GetTickCount() + State().closingMs;
    }
    result = 0;
  }
  Log("hangup %llu -> %lu",
      static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)), result);
  return result;
}

DWORD WINAPI FakeRasGetConnectStatusA(HRASCONN handle, RASCONNSTATUSA* status) {
  const Connection* c = Find(handle);
  DWORD result = ERROR_INVALID_HANDLE;
  if (!status || status->dwSize < 160) {
    result = ERROR_INVALID_SIZE;
  } else if (c) {
    status->rasconnstate = c->hungUp ? RASCS_Disconnected : RASCS_Connected;
    status->dwError = 0;
    result = 0;
  }
  Log("status %llu -> %lu",
      static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)), result);
  return result;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH && !ClockFile().empty()) ShiftProgramClock();
  if (reason == DLL_PROCESS_DETACH) Log("detach");
  return TRUE;
}
