// NetworkManager's dial-up connections, over its D-Bus API.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform::linux_ras {

// The longest that any one call to NetworkManager may take, in milliseconds,
// so that a stalled NetworkManager cannot freeze the window.
inline constexpr int kNmCallTimeoutMs = 250;

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

// An active NetworkManager connection that counts as dial-up.
struct NmLink {
  std::string activePath;
  std::string id;
  std::string type;
  const char* deviceType;  // the Remote Access Service's word for it: "modem", "vpn", ...
};

enum class NmResult {
  kOk,
  kAbsent,    // no NetworkManager on the bus, or no bus at all
  kFailed,    // NetworkManager refused or the reply made no sense
  kTimedOut,  // NetworkManager did not answer in time
  kGone,      // the connection to hang up is no longer active
};

class NmDialup {
 public:
  // How the bus is reached: again whenever the last connection has been lost.
  using Connector = std::function<QDBusConnection()>;

  explicit NmDialup(Connector connect, int timeoutMs = kNmCallTimeoutMs);

  // Fills `links` with the active dial-up connections in NetworkManager's
  // order. One round trip, and one more for each Bluetooth connection.
  // `reason` receives NetworkManager's error, if any.
  NmResult List(std::vector<NmLink>& links, std::string* reason = nullptr);

  // Asks NetworkManager to take the connection down; does not wait for that.
  NmResult Deactivate(const std::string& activePath, std::string* reason = nullptr);

  // D-Bus calls made so far (for the benchmark).
  long calls() const { return calls_; }

 private:
  QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                    const QVariantList& args);
  bool Connected();

  Connector connect_;
  QDBusConnection bus_;
  int timeoutMs_;
  long calls_ = 0;
};

// Connects to the system bus afresh, under a name of its own each time.
QDBusConnection ConnectToSystemBus();

}  // namespace platform::linux_ras
