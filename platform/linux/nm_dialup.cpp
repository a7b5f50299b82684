#include "platform/linux/nm_dialup.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>
#include <QMap>
#include <QVariantMap>
#include <utility>

namespace platform::linux_ras {

namespace {

const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kNmService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNmPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kNmInterface = QStringLiteral("org.freedesktop.NetworkManager");
const QString kActiveInterface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kSettingsInterface =
    QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

NmResult Failure(const QDBusMessage& reply) {
  switch (QDBusError(reply).type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
      return NmResult::kTimedOut;
    default:
      return NmResult::kFailed;
  }
}

// Whether `reply` is not an answer of the given D-Bus signature.
bool IsError(const QDBusMessage& reply, QStringView signature) {
  return reply.type() != QDBusMessage::ReplyMessage || reply.signature() != signature;
}

}  // namespace

const char* DialupDeviceType(const QString& type, bool bluetoothDun) {
  if (type == u"gsm" || type == u"cdma") return "modem";
  if (type == u"bluetooth") return bluetoothDun ? "modem" : nullptr;
  if (type == u"pppoe") return "PPPoE";
  if (type == u"adsl") return "ATM";
  // Windows lists its VPNs among the Remote Access connections; WireGuard is
  // one more kind of VPN to the person using it.
  if (type == u"vpn" || type == u"wireguard") return "vpn";
  return nullptr;
}

NmDialup::NmDialup(QDBusConnection bus, int timeoutMs)
    : bus_(std::move(bus)), timeoutMs_(timeoutMs) {}

QDBusMessage NmDialup::Call(const QString& service, const QString& path, const QString& interface,
                            const QString& method, const QVariantList& args) const {
  QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
  message.setArguments(args);
  // Never have the bus start NetworkManager just to be asked this.
  message.setAutoStartService(false);
  return bus_.call(message, QDBus::Block, timeoutMs_);
}

NmResult NmDialup::IsBluetoothDun(const QString& connectionPath, bool& dun) const {
  const QDBusMessage reply =
      Call(kNmService, connectionPath, kSettingsInterface, QStringLiteral("GetSettings"), {});
  if (IsError(reply, u"a{sa{sv}}")) return Failure(reply);
  const auto settings = qdbus_cast<QMap<QString, QVariantMap>>(reply.arguments().constFirst());
  dun = settings.value(QStringLiteral("bluetooth")).value(QStringLiteral("type")).toString() ==
        u"dun";
  return NmResult::kOk;
}

NmResult NmDialup::List(std::vector<NmLink>& links) const {
  links.clear();
  if (!bus_.isConnected()) return NmResult::kAbsent;

  const QDBusMessage owner =
      Call(kBusService, kBusPath, kBusService, QStringLiteral("NameHasOwner"), {kNmService});
  if (IsError(owner, u"b")) return Failure(owner);
  if (!owner.arguments().constFirst().toBool()) return NmResult::kAbsent;

  const QDBusMessage active = Call(kNmService, kNmPath, kPropertiesInterface, QStringLiteral("Get"),
                                   {kNmInterface, QStringLiteral("ActiveConnections")});
  if (IsError(active, u"v")) return Failure(active);
  const QVariant value = active.arguments().constFirst().value<QDBusVariant>().variant();
  if (value.value<QDBusArgument>().currentSignature() != u"ao") return NmResult::kFailed;
  const auto paths = qdbus_cast<QList<QDBusObjectPath>>(value);

  for (const QDBusObjectPath& path : paths) {
    const QDBusMessage reply = Call(kNmService, path.path(), kPropertiesInterface,
                                    QStringLiteral("GetAll"), {kActiveInterface});
    if (IsError(reply, u"a{sv}")) {
      // One that went down since the list was read is simply not there.
      if (Failure(reply) == NmResult::kTimedOut) return NmResult::kTimedOut;
      continue;
    }
    const auto properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    const QString type = properties.value(QStringLiteral("Type")).toString();
    bool dun = false;
    if (type == u"bluetooth") {
      const QString settingsPath =
          properties.value(QStringLiteral("Connection")).value<QDBusObjectPath>().path();
      if (IsBluetoothDun(settingsPath, dun) == NmResult::kTimedOut) return NmResult::kTimedOut;
    }
    if (const char* deviceType = DialupDeviceType(type, dun)) {
      links.push_back(
          {path.path(), properties.value(QStringLiteral("Id")).toString(), type, deviceType});
    }
  }
  return NmResult::kOk;
}

NmResult NmDialup::Deactivate(const QString& activePath) const {
  if (!bus_.isConnected()) return NmResult::kAbsent;
  const QDBusMessage reply =
      Call(kNmService, kNmPath, kNmInterface, QStringLiteral("DeactivateConnection"),
           {QVariant::fromValue(QDBusObjectPath(activePath))});
  if (reply.type() != QDBusMessage::ReplyMessage) return Failure(reply);
  return NmResult::kOk;
}

}  // namespace platform::linux_ras
