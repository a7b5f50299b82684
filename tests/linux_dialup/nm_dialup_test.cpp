// The dial-up layer against a NetworkManager mock on a private system bus,
// mostly through the hang-up routine that the window calls.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "dialup/module1.h"
#include "dialup/rasconna.h"
#include "platform/ras.h"
#include "tests/linux_dialup/test_support.h"

namespace {

using dialup_test::Child;
using Module1::RASCONNA;
using Settings = QMap<QString, QVariantMap>;
using Clock = std::chrono::steady_clock;

const QString kNm = "org.freedesktop.NetworkManager";
const QString kNmPath = "/org/freedesktop/NetworkManager";
std::string busAddress;  // of the private bus that main() starts

// Each test gets a fresh NetworkManager mock with one wired device.
class NetworkManager : public ::testing::Test {
 protected:
  void SetUp() override {
    mock_.emplace(std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--system", "-t",
                                           "networkmanager", "-l", log_.string()});
    // Generous, for a cold python start on a busy machine.
    for (int i = 0; i < 3000 && !NmOnBus(); ++i) QThread::msleep(10);
    ASSERT_TRUE(NmOnBus());
    Call("/org/freedesktop", "AddEthernetDevice", {"eth0", "eth0", 100});
  }

  QDBusMessage Call(const QString& path, const QString& method, const QVariantList& args,
                    const QString& interface = "org.freedesktop.DBus.Mock",
                    const QString& service = kNm) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    const QDBusMessage reply = control_.call(message);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    return reply;
  }
  bool NmOnBus() {
    return Call("/org/freedesktop/DBus", "NameHasOwner", {kNm}, "org.freedesktop.DBus",
                "org.freedesktop.DBus")
        .arguments()
        .value(0)
        .toBool();
  }

  // Adds a connection and brings it up; returns its active-connection path.
  QString Activate(const QString& type, const QString& id, const Settings& extra = {}) {
    static int counter = 0;
    qDBusRegisterMetaType<Settings>();
    Settings settings = extra;
    settings["connection"] = QVariantMap{{"type", type}, {"id", id}};
    const QDBusMessage added = Call(kNmPath + "/Settings", "AddConnection",
                                    {QVariant::fromValue(settings)}, kNm + ".Settings");
    const QString connection = added.arguments().value(0).value<QDBusObjectPath>().path();
    return Call("/org/freedesktop", "AddActiveConnection",
                {QStringList(), connection, "/", QString::number(++counter), 2u})
        .arguments()
        .value(0)
        .toString();
  }

  QStringList ActiveConnections() {
    const QDBusMessage reply =
        Call(kNmPath, "Get", {kNm, "ActiveConnections"}, "org.freedesktop.DBus.Properties");
    QStringList paths;
    for (const auto& path : qdbus_cast<QList<QDBusObjectPath>>(
             reply.arguments().value(0).value<QDBusVariant>().variant())) {
      paths << path.path();
    }
    return paths;
  }
  void SetActiveConnections(const QStringList& paths) {
    QList<QDBusObjectPath> list;
    for (const QString& path : paths) list << QDBusObjectPath(path);
    Call("/org/freedesktop", "SetProperty",
         {kNmPath, kNm, "ActiveConnections",
          QVariant::fromValue(QDBusVariant(QVariant::fromValue(list)))});
  }

  // The connections that the mock was asked to deactivate, in order.
  QStringList Deactivated() {
    QStringList paths;
    const std::string log = dialup_test::ReadFile(log_);
    const std::regex call(R"(DeactivateConnection "([^"]*)\")");
    for (std::sregex_iterator it(log.begin(), log.end(), call), end; it != end; ++it) {
      paths << QString::fromStdString((*it)[1]);
    }
    return paths;
  }

  std::uint32_t Enumerate(std::uint32_t bytes = sizeof(RASCONNA) * Module1::kBufferRecords) {
    records_[0].dwSize = sizeof(RASCONNA);
    bytes_ = bytes;
    return platform::RasEnumConnectionsA(records_.data(), &bytes_, &count_);
  }

  // Times a hang-up that NetworkManager holds up: it must give the window
  // control back. The bound is generous; it only catches waiting the stall out.
  void HangUpWithin5Seconds(const char* what) {
    const auto start = Clock::now();
    Module1::HangUpConnections();
    const auto elapsed = Clock::now() - start;
    std::cout << what << ": "
              << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() << " ms\n";
    EXPECT_LT(elapsed, std::chrono::seconds(5));
  }

  dialup_test::TempDir dir_;
  const std::filesystem::path log_ = dir_.path() / "nm.log";
  QDBusConnection control_ =
      QDBusConnection::connectToBus(QString::fromStdString(busAddress), "control");
  std::optional<Child> mock_;
  std::vector<RASCONNA> records_ = std::vector<RASCONNA>(Module1::kBufferRecords);
  std::uint32_t bytes_ = 0;
  std::uint32_t count_ = 0;
};

// Hang-up order is NetworkManager's list order, whatever the kind or name.
TEST_F(NetworkManager, HangsUpDialupKindsInListOrderAndLeavesTheRest) {
  const QString vpn = Activate("vpn", "Office VPN");
  const QString wired = Activate("802-3-ethernet", "Wired");
  const QString mobile = Activate("gsm", "Mobile");
  const QString wifi = Activate("802-11-wireless", "Home");
  const QString dsl = Activate("pppoe", "DSL");
  const QString pan = Activate("bluetooth", "Phone PAN", {{"bluetooth", {{"type", "panu"}}}});
  const QString evdo = Activate("cdma", "EVDO");
  const QString dun = Activate("bluetooth", "Phone DUN", {{"bluetooth", {{"type", "dun"}}}});
  const QString wireguard = Activate("wireguard", "wg0");
  const QString adsl = Activate("adsl", "ADSL");
  const QString bridge = Activate("bridge", "br0");
  SetActiveConnections({dsl, wired, mobile, pan, wifi, adsl, vpn, bridge, wireguard, evdo, dun});

  Module1::HangUpConnections();

  EXPECT_EQ(Deactivated(), (QStringList{dsl, mobile, adsl, vpn, wireguard, evdo, dun}));
  EXPECT_EQ(ActiveConnections(), (QStringList{wired, pan, wifi, bridge}));
}

TEST_F(NetworkManager, LeavesUnnamedUpAndFindsNothingMoreNextTime) {
  const QString unnamed = Activate("gsm", "");
  const QString named = Activate("gsm", "Mobile");
  Module1::HangUpConnections();
  Module1::HangUpConnections();
  EXPECT_EQ(Deactivated(), QStringList{named});
  EXPECT_EQ(ActiveConnections(), QStringList{unnamed});
}

TEST_F(NetworkManager, RecordsNameEachConnectionAndHandlesHangItUpOnce) {
  Activate("gsm", "Mobile");
  Activate("802-3-ethernet", "Wired");
  const QString vpn = Activate("vpn", QString(300, 'v'));
  Activate("pppoe", QString(255, 'd') + QStringLiteral("\u00e9"));  // é takes two bytes
  std::memset(records_.data(), 0xAB, sizeof(RASCONNA) * records_.size());

  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  ASSERT_EQ(count_, 3u);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Mobile", "modem"}, {std::string(256, 'v'), "vpn"}, {std::string(255, 'd'), "PPPoE"}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const RASCONNA& record = records_[i];
    EXPECT_EQ(record.dwSize, sizeof(RASCONNA));
    EXPECT_EQ(record.hrasconn, i + 1);
    EXPECT_EQ(record.szEntryName, expected[i].first);
    EXPECT_STREQ(record.szDeviceType, expected[i].second.c_str());
    EXPECT_TRUE(std::all_of(record.szEntryName + expected[i].first.size(),
                            std::end(record.szEntryName), [](char c) { return c == 0; }));
  }
  EXPECT_EQ(static_cast<unsigned char>(records_[3].szEntryName[0]), 0xAB);  // past the count

  EXPECT_EQ(platform::RasHangUpA(0), platform::kRasInvalidHandle);
  EXPECT_EQ(platform::RasHangUpA(4), platform::kRasInvalidHandle);
  EXPECT_EQ(platform::RasHangUpA(2), platform::kRasSuccess);
  EXPECT_EQ(platform::RasHangUpA(2), platform::kRasInvalidHandle);
  EXPECT_EQ(Deactivated(), QStringList{vpn});
}

TEST_F(NetworkManager, ShortBufferOrWrongRecordSizeHandsOutNothing) {
  Activate("gsm", "Mobile");
  Activate("cdma", "EVDO");
  EXPECT_EQ(Enumerate(sizeof(RASCONNA)), platform::kRasBufferTooSmall);
  EXPECT_EQ(bytes_, 2 * sizeof(RASCONNA));
  EXPECT_EQ(count_, 0u);
  EXPECT_EQ(records_[0].szEntryName[0], '\0');
  EXPECT_EQ(platform::RasHangUpA(1), platform::kRasInvalidHandle);

  records_[0].dwSize = sizeof(RASCONNA) - 4;
  EXPECT_EQ(platform::RasEnumConnectionsA(records_.data(), &bytes_, &count_),
            platform::kRasInvalidSize);
  EXPECT_TRUE(Deactivated().isEmpty());
}

TEST_F(NetworkManager, StalledListingGivesUpWithoutHangingUp) {
  Activate("gsm", "Mobile");
  kill(mock_->pid(), SIGSTOP);
  HangUpWithin5Seconds("hang-up with NetworkManager stopped");
  EXPECT_NE(Enumerate(), platform::kRasSuccess);
  kill(mock_->pid(), SIGCONT);
  ActiveConnections();  // answered once the mock has caught up with the calls queued before
  EXPECT_TRUE(Deactivated().isEmpty());
}

TEST_F(NetworkManager, StalledHangUpCostsOneTimeout) {
  const QString first = Activate("gsm", "Mobile");
  Activate("vpn", "Office VPN");
  Activate("pppoe", "DSL");
  const std::string release = (dir_.path() / "release").string();
  Call(kNmPath, "AddMethod",
       {kNm, "DeactivateConnection", "o", "",
        QString::fromStdString("while not os.path.exists('" + release + "'): time.sleep(0.01)")});
  HangUpWithin5Seconds("hang-up with DeactivateConnection stalled");
  dialup_test::WriteFile(release, "");
  ActiveConnections();
  EXPECT_EQ(Deactivated(), QStringList{first});
}

// With no NetworkManager on the bus (or no bus, when run with --no-bus) the
// running pppd processes are the dial-up connections.
TEST(NoNetworkManager, HangsUpNamedPppdProcesses) {
  if (dialup_test::ForeignPppdRunning()) GTEST_SKIP() << "this machine runs a pppd of its own";
  Child named({PPPD_STANDIN, "call", "myisp"});
  Child unnamed({PPPD_STANDIN, "/dev/ttyS0", "nodetach"});
  std::vector<RASCONNA> records(Module1::kBufferRecords);
  records[0].dwSize = sizeof(RASCONNA);
  std::uint32_t bytes = sizeof(RASCONNA) * Module1::kBufferRecords;
  std::uint32_t count = 0;
  ASSERT_EQ(platform::RasEnumConnectionsA(records.data(), &bytes, &count), platform::kRasSuccess);
  ASSERT_EQ(count, 2u);
  EXPECT_STREQ(records[named.pid() < unnamed.pid() ? 0 : 1].szEntryName, "myisp");

  Module1::HangUpConnections();
  EXPECT_EQ(named.KillAndReap(), SIGTERM);
  EXPECT_EQ(unnamed.KillAndReap(), SIGKILL);  // left up, having no name

  ASSERT_EQ(platform::RasEnumConnectionsA(records.data(), &bytes, &count), platform::kRasSuccess);
  EXPECT_EQ(count, 0u);
}

}  // namespace

// --with-app runs the tests under a QCoreApplication; --no-bus runs them with
// no system bus at all, where only NoNetworkManager's apply.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::unique_ptr<QCoreApplication> app;
  bool bus = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--with-app") == 0)
      app = std::make_unique<QCoreApplication>(argc, argv);
    if (std::strcmp(argv[i], "--no-bus") == 0) bus = false;
  }
  // A dbus-daemon of our own stands in for the system bus for the whole run.
  std::optional<Child> daemon;
  if (bus) {
    daemon.emplace(std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork",
                                            "--print-address"},
                   true);
    busAddress = daemon->ReadLine();
    if (busAddress.empty()) return 1;
  }
  setenv("DBUS_SYSTEM_BUS_ADDRESS",
         bus ? busAddress.c_str() : "unix:path=/nonexistent/system_bus_socket", 1);
  return RUN_ALL_TESTS();
}
