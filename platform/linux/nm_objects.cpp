#include "platform/linux/nm_objects.h"

#include <set>

namespace platform::linux_ras {

namespace {

const std::string* String(const NmProperties& properties, const std::string& key) {
  const auto it = properties.find(key);
  return it == properties.end() ? nullptr : std::get_if<std::string>(&it->second);
}

}  // namespace

std::vector<std::string> ActivePaths(const NmValue& activeConnections) {
  std::vector<std::string> result;
  const auto* paths = std::get_if<std::vector<std::string>>(&activeConnections);
  if (!paths) return result;
  std::set<std::string_view> seen;
  for (const std::string& path : *paths) {
    if (seen.insert(path).second) result.push_back(path);
  }
  return result;
}

std::optional<NmActive> ReadActive(const std::string& path, const NmProperties& properties) {
  const std::string* type = String(properties, "Type");
  if (!type) return std::nullopt;
  const std::string* id = String(properties, "Id");
  const std::string* connection = String(properties, "Connection");
  return NmActive{path, id ? *id : std::string(), *type, connection ? *connection : ""};
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

std::vector<std::string> NmActiveView::Unknown(const std::string& owner,
                                               const std::vector<std::string>& paths) {
  if (owner != owner_) {
    known_.clear();
    owner_ = owner;
  }
  // A path no longer listed has gone down for good: NetworkManager gives the
  // next activation a path of its own.
  const std::set<std::string_view> listed(paths.begin(), paths.end());
  std::erase_if(known_, [&](const auto& entry) { return !listed.contains(entry.first); });
  std::vector<std::string> unknown;
  for (const std::string& path : paths) {
    if (!known_.contains(path)) unknown.push_back(path);
  }
  return unknown;
}

void NmActiveView::Learn(const NmActive& active, bool bluetoothDun) {
  known_[active.path] = {active.path, active.id, active.type,
                         DialupDeviceType(active.type, bluetoothDun)};
}

std::vector<NmLink> NmActiveView::Links(const std::vector<std::string>& paths) const {
  std::vector<NmLink> links;
  for (const std::string& path : paths) {
    const auto it = known_.find(path);
    if (it != known_.end() && it->second.deviceType) links.push_back(it->second);
  }
  return links;
}

void NmActiveView::Clear() {
  known_.clear();
  owner_.clear();
}

}  // namespace platform::linux_ras
