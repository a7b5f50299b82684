// HangUpConnections against a NetworkManager mock (python3-dbusmock on a
// private bus) with 1, 16, 64 and 256 dial-up connections: time per call
// and D-Bus round trips per call, beside the listing as it was before (a
// property read for the list, then one GetAll for each connection).
//
// The mock's DeactivateConnection is made to do nothing, so that every call
// finds all the connections again, as the schedule's repeated calls do while
// a connection takes its time to close. Prints a table; asserts nothing.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "dialup/module1.h"
#include "tests/linux_dialup/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;
using Settings = QMap<QString, QVariantMap>;
const QString kNm = "org.freedesktop.NetworkManager";
const QString kNmPath = "/org/freedesktop/NetworkManager";
const QString kMock = "org.freedesktop.DBus.Mock";

QDBusMessage Call(QDBusConnection& bus, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& args, const QString& service = kNm) {
  QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
  message.setArguments(args);
  return bus.call(message, QDBus::Block, 5000);
}

long Lines(const std::filesystem::path& log) {
  std::ifstream in(log);
  return std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
}

// The listing as it was: NameHasOwner, the ActiveConnections property, then
// GetAll on each active connection; then DeactivateConnection on each.
long OldHangUp(QDBusConnection& bus) {
  long trips = 0;
  auto call = [&](const QString& path, const QString& interface, const QString& method,
                  const QVariantList& args, const QString& service = kNm) {
    ++trips;
    return Call(bus, path, interface, method, args, service);
  };
  call("/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner", {kNm},
       "org.freedesktop.DBus");
  const QDBusMessage active = call(kNmPath, "org.freedesktop.DBus.Properties", "Get",
                                   {kNm, QStringLiteral("ActiveConnections")});
  const auto paths = qdbus_cast<QList<QDBusObjectPath>>(
      active.arguments().value(0).value<QDBusVariant>().variant());
  std::vector<QString> dialup;
  for (const QDBusObjectPath& path : paths) {
    const QDBusMessage reply =
        call(path.path(), "org.freedesktop.DBus.Properties", "GetAll",
             {QStringLiteral("org.freedesktop.NetworkManager.Connection.Active")});
    const auto properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    if (properties.value("Type").toString() == "gsm") dialup.push_back(path.path());
  }
  for (const QString& path : dialup) {
    call(kNmPath, kNm, "DeactivateConnection", {QVariant::fromValue(QDBusObjectPath(path))});
  }
  return trips;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  dialup_test::TempDir dir;
  const auto socket = dir.path() / "bus";
  dialup_test::Child daemon({"/usr/bin/dbus-daemon", "--session", "--nofork",
                             "--address=unix:path=" + socket.string(), "--print-address"},
                            true);
  const std::string address = daemon.ReadLine();
  setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + socket.string()).c_str(), 1);
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address), "bench");
  qDBusRegisterMetaType<Settings>();

  std::printf("%-12s | %-28s | %-28s\n", "connections", "now: ms/call, round trips",
              "before: ms/call, round trips");
  for (int n : {1, 16, 64, 256}) {
    const auto log = dir.path() / ("nm-" + std::to_string(n) + ".log");
    dialup_test::Child mock({"/usr/bin/python3", "-m", "dbusmock", "--system", "-t",
                             "networkmanager", "-l", log.string()});
    for (int i = 0; i < 3000; ++i) {
      const QDBusMessage owner = Call(bus, "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                      "NameHasOwner", {kNm}, "org.freedesktop.DBus");
      if (owner.arguments().value(0).toBool()) break;
      QThread::msleep(10);
    }
    Call(bus, "/org/freedesktop", kMock, "AddEthernetDevice", {"eth0", "eth0", 100});
    for (int i = 0; i < n; ++i) {
      Settings settings;
      settings["connection"] = QVariantMap{{"type", "gsm"}, {"id", QString("Modem %1").arg(i)}};
      const QDBusMessage added = Call(bus, kNmPath + "/Settings", kNm + ".Settings",
                                      "AddConnection", {QVariant::fromValue(settings)});
      const QString connection = added.arguments().value(0).value<QDBusObjectPath>().path();
      Call(bus, "/org/freedesktop", kMock, "AddActiveConnection",
           {QStringList(), connection, "/", QString::number(i + 1), 2u});
    }
    Call(bus, kNmPath, kMock, "AddMethod", {kNm, "DeactivateConnection", "o", "", ""});

    const int rounds = n >= 64 ? 10 : 30;
    Module1::HangUpConnections();  // connects, warms up
    std::vector<double> now, before;
    long nowTrips = 0, beforeTrips = 0;
    for (int r = 0; r < rounds; ++r) {
      const long linesBefore = Lines(log);
      auto start = Clock::now();
      Module1::HangUpConnections();
      now.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      nowTrips += Lines(log) - linesBefore;
      start = Clock::now();
      beforeTrips += OldHangUp(bus);
      before.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    char a[64], b[64];
    std::snprintf(a, sizeof a, "%8.2f ms, %6.1f", Median(now), double(nowTrips) / rounds);
    std::snprintf(b, sizeof b, "%8.2f ms, %6.1f", Median(before), double(beforeTrips) / rounds);
    std::printf("%-12d | %-28s | %-28s\n", n, a, b);
  }
  std::printf(
      "round trips per call: now 1 for the listing (GetManagedObjects) + 1 per hang-up, counted "
      "in the mock's log;\nbefore 2 for the list (NameHasOwner, Get) + 1 GetAll per connection "
      "+ 1 per hang-up\n");
  return 0;
}
