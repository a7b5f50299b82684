// NetworkManager's dial-up connections, over its D-Bus API.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <vector>

namespace platform::linux_ras {

// The longest that any one call to NetworkManager may take, in milliseconds,
// so that a stalled NetworkManager cannot freeze the window.
inline constexpr int kNmCallTimeoutMs = 250;

// An active NetworkManager connection that counts as dial-up.
struct NmLink {
  QString activePath;      // its active-connection object, which hanging up takes
  QString id;              // the connection's name
  QString type;            // NetworkManager's connection type, e.g. "gsm"
  const char* deviceType;  // the Remote Access Service's word for it: "modem", "vpn", ...
};

enum class NmResult {
  kOk,
  kAbsent,    // no NetworkManager on the bus, or no bus at all
  kFailed,    // NetworkManager refused or the reply made no sense
  kTimedOut,  // NetworkManager did not answer in time
};

// NetworkManager's connection type to the Remote Access device type, or
// nullptr for a type that never counts as dial-up. Bluetooth counts only for
// dial-up networking, which the connection's settings tell.
const char* DialupDeviceType(const QString& type, bool bluetoothDun);

class NmDialup {
 public:
  explicit NmDialup(QDBusConnection bus, int timeoutMs = kNmCallTimeoutMs);

  // Fills `links` with the active dial-up connections in NetworkManager's order.
  NmResult List(std::vector<NmLink>& links) const;

  // Asks NetworkManager to take the connection down; does not wait for that.
  NmResult Deactivate(const QString& activePath) const;

 private:
  QDBusMessage Call(const QString& service, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& args) const;
  NmResult IsBluetoothDun(const QString& connectionPath, bool& dun) const;

  QDBusConnection bus_;
  int timeoutMs_;
};

}  // namespace platform::linux_ras
