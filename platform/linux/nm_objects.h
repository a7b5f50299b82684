// What NetworkManager's replies say, as plain values: which active
// connections there are and which of them count as dial-up. No D-Bus here,
// so that it can be tried with any input on its own.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform::linux_ras {

// A property value of NetworkManager's replies, of the kinds read here: a
// string or object path, or an array of them. Anything else is monostate.
using NmValue = std::variant<std::monostate, std::string, std::vector<std::string>>;
using NmProperties = std::map<std::string, NmValue>;
// What ObjectManager.GetManagedObjects answers: path -> interface -> properties.
using NmObjects = std::map<std::string, std::map<std::string, NmProperties>>;
// What Settings.Connection.GetSettings answers: setting -> key -> value.
using NmSettings = std::map<std::string, NmProperties>;

// An active connection as the managed objects describe it.
struct NmActive {
  std::string path;        // its active-connection object, which hanging up takes
  std::string id;          // the connection's name
  std::string type;        // NetworkManager's connection type, e.g. "gsm"
  std::string connection;  // its settings object
};

// The manager's active connections in its own order (its ActiveConnections
// property), each as its object describes it. One listed without an object,
// or twice, is taken once or not at all: it has just gone down.
std::vector<NmActive> ActiveConnections(const NmObjects& objects);

// Whether a Bluetooth connection's settings make it dial-up networking.
bool IsBluetoothDun(const NmSettings& settings);

// NetworkManager's connection type to the Remote Access device type, or
// nullptr for a type that never counts as dial-up. Bluetooth counts only for
// dial-up networking, which the connection's settings tell.
const char* DialupDeviceType(std::string_view type, bool bluetoothDun);

}  // namespace platform::linux_ras
