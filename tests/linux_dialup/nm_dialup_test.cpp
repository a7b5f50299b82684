// The dial-up layer against a NetworkManager mock on a private system bus,
// mostly through the hang-up routine that the window calls.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

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
std::filesystem::path busSocket;
std::optional<Child> busDaemon;

// Starts the private bus at its fixed address, or starts it anew.
bool StartBus() {
  busDaemon.reset();
  std::filesystem::remove(busSocket);
  busDaemon.emplace(
      std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork",
                               "--address=unix:path=" + busSocket.string(), "--print-address"},
      true);
  busAddress = busDaemon->ReadLine();
  return !busAddress.empty();
}

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

// Hang-up order is NetworkManager's list order, whatever the kind or name;
// a connection without a name stays up, and one hung up is not asked again.
TEST_F(NetworkManager, HangsUpNamedDialupKindsInListOrderAndLeavesTheRest) {
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
  const QString unnamed = Activate("gsm", "");
  SetActiveConnections(
      {dsl, wired, mobile, pan, wifi, unnamed, adsl, vpn, bridge, wireguard, evdo, dun});

  Module1::HangUpConnections();
  Module1::HangUpConnections();

  EXPECT_EQ(Deactivated(), (QStringList{dsl, mobile, adsl, vpn, wireguard, evdo, dun}));
  EXPECT_EQ(ActiveConnections(), (QStringList{wired, pan, wifi, unnamed, bridge}));
}

// Records as the Remote Access Service writes them; handles valid only for
// what the last listing handed out, each hung up once.
TEST_F(NetworkManager, RecordsNameEachConnectionAndHandlesHangItUpOnce) {
  Activate("gsm", "Mobile");
  Activate("802-3-ethernet", "Wired");
  const QString vpn = Activate("vpn", QString(300, 'v'));
  Activate("pppoe", QString(255, 'd') + QStringLiteral("\u00e9"));  // é takes two bytes
  std::memset(records_.data(), 0xAB, sizeof(RASCONNA) * records_.size());

  EXPECT_EQ(Enumerate(sizeof(RASCONNA)), platform::kRasBufferTooSmall);
  EXPECT_EQ(bytes_, 3 * sizeof(RASCONNA));
  EXPECT_EQ(count_, 0u);
  EXPECT_EQ(platform::RasHangUpA(1), platform::kRasInvalidHandle);  // nothing handed out
  records_[0].dwSize = sizeof(RASCONNA) - 4;
  EXPECT_EQ(platform::RasEnumConnectionsA(records_.data(), &bytes_, &count_),
            platform::kRasInvalidSize);
  EXPECT_EQ(static_cast<unsigned char>(records_[0].szEntryName[0]), 0xAB);

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

// A stalled NetworkManager gives the window control back: a stalled hang-up
// costs one timeout, a stalled listing hangs up nothing.
TEST_F(NetworkManager, StalledHangUpCostsOneTimeoutAndStalledListingHangsUpNothing) {
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

  kill(mock_->pid(), SIGSTOP);
  HangUpWithin5Seconds("hang-up with NetworkManager stopped");
  EXPECT_EQ(Enumerate(), platform::kRasSuccess);  // without NetworkManager's connections
  EXPECT_EQ(count_, 0u);
  kill(mock_->pid(), SIGCONT);
  ActiveConnections();  // answered once the mock has caught up with the calls queued before
  EXPECT_EQ(Deactivated(), QStringList{first});
}

// NetworkManager answering the listing with an error fails its part only:
// a pppd dialled by hand is still hung up, and the error is written once.
TEST_F(NetworkManager, ErrorsOfTheListingLeaveItsConnectionsAndStillEndPppd) {
  const QString mobile = Activate("gsm", "Mobile");
  for (const char* error :
       {"org.freedesktop.DBus.Error.AccessDenied", "org.freedesktop.DBus.Error.UnknownMethod"}) {
    Child pppd({PPPD_STANDIN, "call", "myisp"});
    Call("/org/freedesktop", "AddMethod",
         {"org.freedesktop.DBus.ObjectManager", "GetManagedObjects", "", "a{oa{sa{sv}}}",
          QString("raise dbus.exceptions.DBusException('no', name='%1')").arg(error)});
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(Enumerate(), platform::kRasSuccess);
    ASSERT_EQ(count_, 1u);
    EXPECT_STREQ(records_[0].szEntryName, "myisp");
    Module1::HangUpConnections();
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(written.find(error), std::string::npos) << written;
    EXPECT_EQ(written.find("prekidnik:"), written.rfind("prekidnik:")) << written;  // once
    EXPECT_EQ(pppd.KillAndReap(), SIGTERM);
  }
  EXPECT_TRUE(Deactivated().isEmpty());
  EXPECT_EQ(ActiveConnections(), QStringList{mobile});
}

// A refusal or a connection gone meanwhile ends nothing else early; only the
// refusal is written, once for each connection however often it is asked.
TEST_F(NetworkManager, RefusedOrVanishedHangUpsGoOnWithTheNextConnection) {
  const QString refused = Activate("gsm", "Odbijena");
  const QString vanishing = Activate("vpn", "Nestaje");
  const QString last = Activate("pppoe", "DSL");
  const QString ghost = kNmPath + "/ActiveConnection/999";  // listed, but no such object
  SetActiveConnections({refused, ghost, vanishing, last});
  Call(kNmPath, "AddMethod",
       {kNm, "DeactivateConnection", "o", "",
        QString("if args[0] == '%1': raise dbus.exceptions.DBusException('polkit says no', "
                "name='org.freedesktop.NetworkManager.PermissionDenied')\n"
                "if args[0] == '%2': raise dbus.exceptions.DBusException('gone', "
                "name='org.freedesktop.NetworkManager.ConnectionNotActive')\n"
                "self.deactivate_connection(self, args[0])")
            .arg(refused, vanishing)});
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  EXPECT_EQ(count_, 3u);
  for (int i = 0; i < 3; ++i) Module1::HangUpConnections();
  const std::string written = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(written,
            "prekidnik: could not hang up \"Odbijena\": "
            "org.freedesktop.NetworkManager.PermissionDenied: polkit says no\n");
  EXPECT_EQ(Deactivated(),
            (QStringList{refused, vanishing, last, refused, vanishing, refused, vanishing}));
}

TEST_F(NetworkManager, MoreThan256ConnectionsFailTheEnumerationAndNothingIsHungUp) {
  QStringList paths;
  for (int i = 0; i < 257; ++i) paths << Activate("gsm", QString("Modem %1").arg(i));
  EXPECT_EQ(Enumerate(), platform::kRasBufferTooSmall);
  EXPECT_EQ(bytes_, 257 * sizeof(RASCONNA));
  Module1::HangUpConnections();
  EXPECT_TRUE(Deactivated().isEmpty());
  EXPECT_EQ(ActiveConnections().size(), 257);
}

// The system bus restarts while the program runs: the next request finds it.
TEST_F(NetworkManager, ReconnectsToASystemBusThatCameBack) {
  Activate("gsm", "Mobile");
  Module1::HangUpConnections();
  ASSERT_EQ(Deactivated().size(), 1);
  mock_.reset();
  busDaemon.reset();
  EXPECT_EQ(Enumerate(), platform::kRasSuccess);  // no bus for a moment: nothing listed
  EXPECT_EQ(count_, 0u);
  ASSERT_TRUE(StartBus());
  QDBusConnection::disconnectFromBus("control");
  control_ = QDBusConnection::connectToBus(QString::fromStdString(busAddress), "control");
  SetUp();
  const QString again = Activate("vpn", "Office VPN");
  Module1::HangUpConnections();
  EXPECT_EQ(Deactivated(), QStringList{again});
}

// NetworkManager's connections first, then every pppd it did not start; its
// own pppd is never signalled.
TEST_F(NetworkManager, ListsItsConnectionsThenThePppdLinksItDidNotStart) {
  const QString mobile = Activate("gsm", "Mobile");
  Child byHand({PPPD_STANDIN, "call", "myisp"});
  Child networkManager({NM_STANDIN, PPPD_STANDIN, "plugin",
                        "/usr/lib/x86_64-linux-gnu/NetworkManager/1.42.4/libnm-ppp-plugin.so"},
                       true);
  const pid_t itsPppd = std::stoi(networkManager.ReadLine());
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  ASSERT_EQ(count_, 2u);
  EXPECT_STREQ(records_[0].szEntryName, "Mobile");
  EXPECT_STREQ(records_[1].szEntryName, "myisp");
  Module1::HangUpConnections();
  EXPECT_EQ(Deactivated(), QStringList{mobile});
  EXPECT_EQ(byHand.KillAndReap(), SIGTERM);
  EXPECT_EQ(kill(itsPppd, 0), 0);  // still running, untouched
  kill(itsPppd, SIGKILL);
  networkManager.KillAndReap();
  int status = 0;
  waitpid(itsPppd, &status, 0);  // ours to reap: this process is a subreaper
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
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
  EXPECT_EQ(records[named.pid() < unnamed.pid() ? 1 : 0].szEntryName,
            "pppd " + std::to_string(unnamed.pid()));

  Module1::HangUpConnections();
  EXPECT_EQ(named.KillAndReap(), SIGTERM);
  EXPECT_EQ(unnamed.KillAndReap(), SIGTERM);  // named after its pid, hung up all the same

  ASSERT_EQ(platform::RasEnumConnectionsA(records.data(), &bytes, &count), platform::kRasSuccess);
  EXPECT_EQ(count, 0u);
}

// A pppd that will not end is asked again on the next request, and no
// request waits for it.
TEST(NoNetworkManager, APppdIgnoringSigtermIsAskedAgainEachTime) {
  if (dialup_test::ForeignPppdRunning()) GTEST_SKIP() << "this machine runs a pppd of its own";
  Child stubborn({PPPD_STANDIN, "call", "isp", "ignore-term"}, true);
  ASSERT_EQ(stubborn.ReadLine(), "READY");
  const auto start = Clock::now();
  for (int i = 0; i < 3; ++i) {
    Module1::HangUpConnections();
    EXPECT_EQ(stubborn.ReadLine(), "TERM") << i;
  }
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
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
  // pppd started by the NetworkManager stand-in outlive it; they are reaped here.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  // A dbus-daemon of our own stands in for the system bus for the whole run,
  // at an address of its own that a restarted bus takes again.
  dialup_test::TempDir busDir;
  busSocket = busDir.path() / "system_bus_socket";
  if (bus && !StartBus()) return 1;
  setenv("DBUS_SYSTEM_BUS_ADDRESS",
         bus ? ("unix:path=" + busSocket.string()).c_str()
             : "unix:path=/nonexistent/system_bus_socket",
         1);
  const int result = RUN_ALL_TESTS();
  busDaemon.reset();
  return result;
}
