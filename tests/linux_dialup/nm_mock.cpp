// The NetworkManager fixture of nm_mock.h: the mock started and driven over the private bus.
#include "tests/linux_dialup/nm_mock.h"

#include <stdlib.h>

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QMap>
#include <QRegularExpression>
#include <QThread>
#include <QVariantMap>
#include <fstream>
#include <iterator>

#include "platform/ras.h"
#include "tests/linux_dialup/session.h"

namespace dialup_test {

void NetworkManager::SetUp() {
  if (ForeignPppd()) GTEST_SKIP() << "this machine runs a pppd of its own";
  ConnectControl();
  StartMock();
}

void NetworkManager::ConnectControl() {
  QDBusConnection::disconnectFromBus("control");
  control_ = QDBusConnection::connectToBus(QString::fromStdString(BusAddress()), "control");
}

void NetworkManager::StartMock() {
  // The fault scripts find the test's folder here.
  setenv("NM_MOCK_DIR", dir_.path().c_str(), 1);
  mock_.emplace(std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--system", "-t",
                                         "networkmanager", "-l", (dir_.path() / "nm.log")});
  // Until it owns its name: a cold start of python takes its time.
  for (int i = 0; i < 3000 && !control_.interface()->isServiceRegistered(kNm); ++i) {
    QThread::msleep(10);
  }
  ASSERT_TRUE(control_.interface()->isServiceRegistered(kNm)) << "the mock did not start";
  Call("/org/freedesktop", "AddEthernetDevice", {"eth0", "eth0", 100});
}

QVariant NetworkManager::Call(const QString& path, const QString& method, const QVariantList& args,
                              const QString& interface) {
  QDBusMessage message = QDBusMessage::createMethodCall(kNm, path, interface, method);
  message.setArguments(args);
  const QDBusMessage reply = control_.call(message);
  EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
      << method.toStdString() << ": " << reply.errorMessage().toStdString();
  return reply.arguments().value(0);
}

QString NetworkManager::Activate(const QString& type, const QString& id,
                                 const QString& bluetoothType, const QString& name) {
  static int activated = 0;
  using Settings = QMap<QString, QVariantMap>;
  qDBusRegisterMetaType<Settings>();
  Settings settings = {{"connection", {{"type", type}, {"id", id}}}};
  if (!bluetoothType.isEmpty()) settings["bluetooth"] = {{"type", bluetoothType}};
  const QVariant added = Call(kNmPath + "/Settings", "AddConnection",
                              {QVariant::fromValue(settings)}, kNm + ".Settings");
  const QString connection = added.value<QDBusObjectPath>().path();
  const QString path = name.isEmpty() ? QString::number(++activated) : name;
  return Call("/org/freedesktop", "AddActiveConnection", {QStringList(), connection, "/", path, 2u})
      .toString();
}

QStringList NetworkManager::Logged(const QString& text) const {
  std::ifstream in(dir_.path() / "nm.log");
  QStringList lines;
  for (std::string line; std::getline(in, line);) {
    if (QString::fromStdString(line).contains(text)) lines << QString::fromStdString(line);
  }
  return lines;
}

QStringList NetworkManager::Deactivated() const {
  const QRegularExpression call(R"(DeactivateConnection "([^"]*)\")");
  QStringList paths;
  for (const QString& line : Logged("DeactivateConnection ")) {
    const QRegularExpressionMatch match = call.match(line);
    if (match.hasMatch()) paths << match.captured(1);
  }
  return paths;
}

std::uint32_t NetworkManager::Enumerate(std::uint32_t size, std::size_t records) {
  records_[0].dwSize = size;
  bytes_ = static_cast<std::uint32_t>(sizeof(Module1::RASCONNA) * records);
  count_ = 99;
  return platform::RasEnumConnectionsA(records_.data(), &bytes_, &count_);
}

std::vector<std::string> NetworkManager::ListedNames() const {
  std::vector<std::string> names;
  for (std::uint32_t i = 0; i < count_ && i < records_.size(); ++i) {
    names.emplace_back(records_[i].szEntryName);
  }
  return names;
}

}  // namespace dialup_test
