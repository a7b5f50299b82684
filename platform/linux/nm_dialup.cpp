#include "platform/linux/nm_dialup.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>
#include <QMap>
#include <QVariantMap>
#include <optional>
#include <utility>

namespace platform::linux_ras {

namespace {

const QString kNmService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNmPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kNmInterface = QStringLiteral("org.freedesktop.NetworkManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kActiveInterface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kSettingsInterface =
    QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");

NmValue Convert(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QString>()) return value.toString().toStdString();
  if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
    return value.value<QDBusObjectPath>().path().toStdString();
  }
  if (value.metaType() == QMetaType::fromType<QStringList>()) {
    std::vector<std::string> items;
    for (const QString& item : value.toStringList()) items.push_back(item.toStdString());
    return items;
  }
  if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentSignature() == u"ao") {
      std::vector<std::string> items;
      for (const QDBusObjectPath& item : qdbus_cast<QList<QDBusObjectPath>>(argument)) {
        items.push_back(item.path().toStdString());
      }
      return items;
    }
  }
  return std::monostate();
}

// A D-Bus dictionary a{s...}, read from where `argument` stands, each value
// by `readValue`.
template <typename Map, typename ReadValue>
Map ReadMap(const QDBusArgument& argument, ReadValue readValue) {
  Map map;
  argument.beginMap();
  while (!argument.atEnd()) {
    QString key;
    argument.beginMapEntry();
    argument >> key;
    map[key.toStdString()] = readValue(argument);
    argument.endMapEntry();
  }
  argument.endMap();
  return map;
}

// a{sv}: an interface's properties, or a settings group.
NmProperties ReadProperties(const QDBusArgument& argument) {
  return ReadMap<NmProperties>(argument, [](const QDBusArgument& value) {
    QDBusVariant variant;
    value >> variant;
    return Convert(variant.variant());
  });
}

// a{sa{sv}}: a connection's settings.
NmSettings ReadSettings(const QDBusArgument& argument) {
  return ReadMap<NmSettings>(argument, ReadProperties);
}

NmResult Failure(const QDBusMessage& reply, std::string* reason) {
  const QDBusError error(reply);
  if (reason) {
    *reason = reply.type() == QDBusMessage::ErrorMessage
                  ? error.name().toStdString() + ": " + error.message().toStdString()
                  : "NetworkManager answered in a form not known here";
  }
  if (reply.type() != QDBusMessage::ErrorMessage) return NmResult::kFailed;
  // Asked without starting it, a NetworkManager that is not running has no
  // owner of its name: the machine has none, which is no fault.
  if (error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
    return NmResult::kAbsent;
  switch (error.type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
      return NmResult::kTimedOut;
    case QDBusError::ServiceUnknown:
    case QDBusError::Disconnected:
      return NmResult::kAbsent;
    default:
      return NmResult::kFailed;
  }
}

bool IsReply(const QDBusMessage& reply, QStringView signature) {
  return reply.type() == QDBusMessage::ReplyMessage && reply.signature() == signature;
}

}  // namespace

QDBusConnection ConnectToSystemBus() {
  static int serial = 0;
  return QDBusConnection::connectToBus(QDBusConnection::SystemBus,
                                       QStringLiteral("prekidnik-system-%1").arg(++serial));
}

NmDialup::NmDialup(Connector connect, int timeoutMs)
    : connect_(std::move(connect)), bus_(connect_()), timeoutMs_(timeoutMs) {}

bool NmDialup::Connected() {
  if (!bus_.isConnected()) {
    // The bus went away (a restart, say): the next request finds it again,
    // and nothing learnt on the old one is kept.
    QDBusConnection::disconnectFromBus(bus_.name());
    bus_ = connect_();
    view_.Clear();
  }
  return bus_.isConnected();
}

QDBusMessage NmDialup::Call(const QString& path, const QString& interface, const QString& method,
                            const QVariantList& args) {
  QDBusMessage message = QDBusMessage::createMethodCall(kNmService, path, interface, method);
  message.setArguments(args);
  // Never have the bus start NetworkManager just to be asked this.
  message.setAutoStartService(false);
  ++calls_;
  QDBusMessage reply = bus_.call(message, QDBus::Block, timeoutMs_);
  if (QDBusError(reply).type() == QDBusError::Disconnected && Connected()) {
    ++calls_;
    reply = bus_.call(message, QDBus::Block, timeoutMs_);
  }
  return reply;
}

NmResult NmDialup::List(std::vector<NmLink>& links, std::string* reason) {
  links.clear();
  if (!Connected()) return NmResult::kAbsent;

  // The list itself, on every call: it is what says which connections are up.
  const QDBusMessage reply = Call(kNmPath, kProperties, QStringLiteral("Get"),
                                  {kNmInterface, QStringLiteral("ActiveConnections")});
  if (!IsReply(reply, u"v")) return Failure(reply, reason);
  const std::vector<std::string> paths =
      ActivePaths(Convert(reply.arguments().constFirst().value<QDBusVariant>().variant()));

  // Then whatever of it this NetworkManager has not told yet. A connection
  // that has gone down meanwhile, or that NetworkManager will not describe,
  // is left out of this listing and asked about again in the next.
  for (const std::string& path : view_.Unknown(reply.service().toStdString(), paths)) {
    const QDBusMessage properties = Call(QString::fromStdString(path), kProperties,
                                         QStringLiteral("GetAll"), {kActiveInterface});
    if (!IsReply(properties, u"a{sv}")) {
      if (Failure(properties, reason) == NmResult::kTimedOut) return NmResult::kTimedOut;
      continue;
    }
    const std::optional<NmActive> active = ReadActive(
        path, ReadProperties(properties.arguments().constFirst().value<QDBusArgument>()));
    if (!active) continue;
    bool dun = false;
    if (active->type == "bluetooth" && !active->connection.empty()) {
      const QDBusMessage settings = Call(QString::fromStdString(active->connection),
                                         kSettingsInterface, QStringLiteral("GetSettings"), {});
      if (!IsReply(settings, u"a{sa{sv}}")) {
        if (Failure(settings, reason) == NmResult::kTimedOut) return NmResult::kTimedOut;
        continue;
      }
      dun = IsBluetoothDun(ReadSettings(settings.arguments().constFirst().value<QDBusArgument>()));
    }
    view_.Learn(*active, dun);
  }
  links = view_.Links(paths);
  return NmResult::kOk;
}

NmResult NmDialup::Deactivate(const std::string& activePath, std::string* reason) {
  if (!Connected()) return NmResult::kAbsent;
  const QDBusMessage reply =
      Call(kNmPath, kNmInterface, QStringLiteral("DeactivateConnection"),
           {QVariant::fromValue(QDBusObjectPath(QString::fromStdString(activePath)))});
  if (reply.type() == QDBusMessage::ReplyMessage) return NmResult::kOk;
  const NmResult result = Failure(reply, reason);
  // Down already, by itself or by someone else: nothing was refused.
  const QString name = reply.errorName();
  if (name == u"org.freedesktop.NetworkManager.ConnectionNotActive" ||
      name == u"org.freedesktop.DBus.Error.UnknownObject" ||
      name == u"org.freedesktop.NetworkManager.UnknownConnection") {
    return NmResult::kGone;
  }
  return result;
}

}  // namespace platform::linux_ras
