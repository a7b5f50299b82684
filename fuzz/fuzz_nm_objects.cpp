// NetworkManager's replies made up of any objects and values, often the few paths that matter:
// the active connections found are those the manager lists, once each, in order, as described.
#include <set>

#include "fuzz/check.h"
#include "platform/linux/nm_objects.h"

namespace {

using namespace platform::linux_ras;
using Strings = std::vector<std::string>;
const std::string kManager = "org.freedesktop.NetworkManager",
                  kPath = "/org/freedesktop/NetworkManager";
const std::string kActive = kManager + ".Connection.Active";
const Strings kPaths = {kPath, kPath + "/ActiveConnection/1", kPath + "/ActiveConnection/2",
                        kPath + "/Settings/1", ""};
const Strings kInterfaces = {kManager, kActive, "bluetooth", ""};
const Strings kKeys = {"ActiveConnections", "Type", "Id", "Connection", "type"};
const Strings kTexts = {"gsm", "bluetooth", "dun", "vpn", "802-3-ethernet", kPaths[1]};

std::string Pick(FuzzedDataProvider& in, const Strings& common) {
  if (in.ConsumeBool()) return in.ConsumeRandomLengthString(64);
  return common[in.ConsumeIntegralInRange<std::size_t>(0, common.size() - 1)];
}

NmValue Value(FuzzedDataProvider& in) {
  const int kind = in.ConsumeIntegralInRange(0, 2);
  if (kind < 2) return kind == 0 ? NmValue() : NmValue(Pick(in, kTexts));
  Strings items(in.ConsumeIntegralInRange(0, 6));
  for (std::string& item : items) item = Pick(in, kPaths);
  return items;
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
  Strings listed;  // looked up only now: [] adds what it does not find
  if (const auto* paths = std::get_if<Strings>(&objects[kPath][kManager]["ActiveConnections"]))
    listed = *paths;
  std::size_t next = 0;  // found in the manager's order, each once
  std::set<std::string> seen;
  for (const NmActive& active : found) {
    while (next < listed.size() && listed[next] != active.path) ++next;
    Check(next < listed.size() && seen.insert(active.path).second);
    Check(std::get<std::string>(objects.at(active.path).at(kActive).at("Type")) == active.type);
    const char* deviceType = DialupDeviceType(active.type, in.ConsumeBool());
    Check(deviceType == nullptr || *deviceType != '\0');
  }
  const NmSettings settings = Interfaces(in);
  Check(!IsBluetoothDun(settings) ||
        std::get<std::string>(settings.at("bluetooth").at("type")) == "dun");
  return 0;
}
