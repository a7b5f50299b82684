// What NetworkManager's replies are read into, made up from the input: any
// objects, interfaces, properties and values, with paths drawn often from the
// few that matter so that they meet. The active connections found are those
// the manager lists, once each, in its order, as their objects describe them.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "platform/linux/nm_objects.h"

namespace {

using fuzz::Check;
using namespace platform::linux_ras;

std::string Pick(FuzzedDataProvider& in, const std::vector<std::string>& common) {
  if (in.ConsumeBool()) return in.ConsumeRandomLengthString(64);
  return common[in.ConsumeIntegralInRange<std::size_t>(0, common.size() - 1)];
}

const std::vector<std::string> kPaths = {"/org/freedesktop/NetworkManager",
                                         "/org/freedesktop/NetworkManager/ActiveConnection/1",
                                         "/org/freedesktop/NetworkManager/ActiveConnection/2",
                                         "/org/freedesktop/NetworkManager/Settings/1", ""};
const std::vector<std::string> kInterfaces = {"org.freedesktop.NetworkManager",
                                              "org.freedesktop.NetworkManager.Connection.Active",
                                              "bluetooth", ""};
const std::vector<std::string> kKeys = {"ActiveConnections", "Type", "Id", "Connection", "type"};
const std::vector<std::string> kTexts = {
    "gsm", "bluetooth",      "dun",
    "vpn", "802-3-ethernet", "/org/freedesktop/NetworkManager/ActiveConnection/1"};

NmValue Value(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
      return std::monostate();
    case 1:
      return Pick(in, kTexts);
    default: {
      std::vector<std::string> items(in.ConsumeIntegralInRange(0, 6));
      for (std::string& item : items) item = Pick(in, kPaths);
      return items;
    }
  }
}

std::map<std::string, NmProperties> Interfaces(FuzzedDataProvider& in) {
  std::map<std::string, NmProperties> interfaces;
  for (int i = in.ConsumeIntegralInRange(0, 3); i > 0; --i) {
    NmProperties& properties = interfaces[Pick(in, kInterfaces)];
    for (int j = in.ConsumeIntegralInRange(0, 5); j > 0; --j)
      properties[Pick(in, kKeys)] = Value(in);
  }
  return interfaces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  NmObjects objects;
  for (int i = in.ConsumeIntegralInRange(0, 6); i > 0; --i)
    objects[Pick(in, kPaths)] = Interfaces(in);

  const std::vector<NmActive> found = ActiveConnections(objects);
  std::vector<std::string> listed;
  if (const auto m = objects.find("/org/freedesktop/NetworkManager"); m != objects.end()) {
    if (const auto i = m->second.find("org.freedesktop.NetworkManager"); i != m->second.end()) {
      if (const auto p = i->second.find("ActiveConnections"); p != i->second.end()) {
        if (const auto* paths = std::get_if<std::vector<std::string>>(&p->second)) listed = *paths;
      }
    }
  }
  std::size_t next = 0;  // found in the manager's order, each once
  std::set<std::string> seen;
  for (const NmActive& active : found) {
    while (next < listed.size() && listed[next] != active.path) ++next;
    Check(next < listed.size());
    Check(seen.insert(active.path).second);
    const auto& properties =
        objects.at(active.path).at("org.freedesktop.NetworkManager.Connection.Active");
    Check(std::get<std::string>(properties.at("Type")) == active.type);
    const char* deviceType = DialupDeviceType(active.type, in.ConsumeBool());
    Check(deviceType == nullptr || *deviceType != '\0');
  }
  const NmSettings settings = Interfaces(in);
  const bool dun = IsBluetoothDun(settings);
  Check(!dun || std::get<std::string>(settings.at("bluetooth").at("type")) == "dun");
  return 0;
}
