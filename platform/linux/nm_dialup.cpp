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

  // The list itself, on every call: it says which connections are up.
  const QDBusMessage reply = Call(kNmPath, kProperties, QStringLiteral("Get"),
                                  {kNmInterface, QStringLiteral("ActiveConnections")});
  if (!IsReply(reply, u"v")) return Failure(reply, reason);
  // Then whatever of it this NetworkManager has not told yet.
  Replies replies(*this, reason);
  if (!view_.List(reply.service().toStdString(),
                  Convert(reply.arguments().constFirst().value<QDBusVariant>().variant()), replies,
                  links)) {
    return NmResult::kTimedOut;
  }
  return NmResult::kOk;
}

NmReplies::Read NmDialup::Replies::Properties(const std::string& activePath,
                                              NmProperties& properties) {
  const QDBusMessage reply = dialup_.Call(QString::fromStdString(activePath), kProperties,
                                          QStringLiteral("GetAll"), {kActiveInterface});
  if (!IsReply(reply, u"a{sv}")) return Unanswered(reply);
  properties = ReadProperties(reply.arguments().constFirst().value<QDBusArgument>());
  return Read::kOk;
}

NmReplies::Read NmDialup::Replies::Settings(const std::string& connectionPath,
                                            NmSettings& settings) {
  const QDBusMessage reply = dialup_.Call(QString::fromStdString(connectionPath),
                                          kSettingsInterface, QStringLiteral("GetSettings"), {});
  if (!IsReply(reply, u"a{sa{sv}}")) return Unanswered(reply);
  settings = ReadSettings(reply.arguments().constFirst().value<QDBusArgument>());
  return Read::kOk;
}

NmReplies::Read NmDialup::Replies::Unanswered(const QDBusMessage& reply) {
  return Failure(reply, reason_) == NmResult::kTimedOut ? Read::kStop : Read::kSkip;
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
