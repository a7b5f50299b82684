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

bool NmActiveView::List(const std::string& owner, const NmValue& activeConnections,
                        NmReplies& replies, std::vector<NmLink>& links) {
  links.clear();
  if (owner != owner_) {
    known_.clear();
    owner_ = owner;
  }
  const std::vector<std::string> paths = ActivePaths(activeConnections);
  // A path no longer listed has gone down for good: NetworkManager gives the
  // next activation a path of its own.
  const std::set<std::string_view> listed(paths.begin(), paths.end());
  std::erase_if(known_, [&](const auto& entry) { return !listed.contains(entry.first); });

  for (const std::string& path : paths) {
    if (known_.contains(path)) continue;
    // One that has gone down since the list was read, or that NetworkManager
    // will not describe, is left out, and asked about again next time.
    NmProperties properties;
    const NmReplies::Read read = replies.Properties(path, properties);
    if (read == NmReplies::Read::kStop) return false;
    if (read == NmReplies::Read::kSkip) continue;
    const std::optional<NmActive> active = ReadActive(path, properties);
    if (!active) continue;
    bool dun = false;
    if (active->type == "bluetooth" && !active->connection.empty()) {
      NmSettings settings;
      const NmReplies::Read settingsRead = replies.Settings(active->connection, settings);
      if (settingsRead == NmReplies::Read::kStop) return false;
      if (settingsRead == NmReplies::Read::kSkip) continue;
      dun = IsBluetoothDun(settings);
    }
    known_[path] = {path, active->id, active->type, DialupDeviceType(active->type, dun)};
  }
  for (const std::string& path : paths) {
    const auto it = known_.find(path);
    if (it != known_.end() && it->second.deviceType) links.push_back(it->second);
  }
  return true;
}

void NmActiveView::Clear() {
  known_.clear();
  owner_.clear();
}

}  // namespace platform::linux_ras
