#include "platform/linux/nm_objects.h"

#include <set>

namespace platform::linux_ras {

namespace {

const std::string kManagerPath = "/org/freedesktop/NetworkManager";
const std::string kManagerInterface = "org.freedesktop.NetworkManager";
const std::string kActiveInterface = "org.freedesktop.NetworkManager.Connection.Active";

const std::string* String(const NmProperties& properties, const std::string& key) {
  const auto it = properties.find(key);
  return it == properties.end() ? nullptr : std::get_if<std::string>(&it->second);
}

}  // namespace

std::vector<NmActive> ActiveConnections(const NmObjects& objects) {
  std::vector<NmActive> result;
  const auto manager = objects.find(kManagerPath);
  if (manager == objects.end()) return result;
  const auto interface = manager->second.find(kManagerInterface);
  if (interface == manager->second.end()) return result;
  const auto list = interface->second.find("ActiveConnections");
  if (list == interface->second.end()) return result;
  const auto* paths = std::get_if<std::vector<std::string>>(&list->second);
  if (!paths) return result;

  std::set<std::string_view> seen;
  for (const std::string& path : *paths) {
    if (!seen.insert(path).second) continue;
    const auto object = objects.find(path);
    if (object == objects.end()) continue;
    const auto active = object->second.find(kActiveInterface);
    if (active == object->second.end()) continue;
    const NmProperties& properties = active->second;
    const std::string* type = String(properties, "Type");
    if (!type) continue;
    const std::string* id = String(properties, "Id");
    const std::string* connection = String(properties, "Connection");
    result.push_back({path, id ? *id : std::string(), *type, connection ? *connection : ""});
  }
  return result;
}

bool IsBluetoothDun(const NmSettings& settings) {
  const auto bluetooth = settings.find("bluetooth");
  if (bluetooth == settings.end()) return false;
  const std::string* type = String(bluetooth->second, "type");
  return type && *type == "dun";
}

const char* DialupDeviceType(std::string_view type, bool bluetoothDun) {
  if (type == "gsm" || type == "cdma") return "modem";
  if (type == "bluetooth") return bluetoothDun ? "modem" : nullptr;
  if (type == "pppoe") return "PPPoE";
  if (type == "adsl") return "ATM";
  // Windows lists its VPNs among the Remote Access connections; WireGuard is
  // one more kind of VPN to the person using it.
  if (type == "vpn" || type == "wireguard") return "vpn";
  return nullptr;
}

}  // namespace platform::linux_ras
