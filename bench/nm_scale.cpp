// What one listing of NetworkManager's active connections costs, against the python3-dbusmock
// NetworkManager template on a private bus, for trees of 1, 16, 64 and 256 active dial-up
// connections and for a laptop's tree (3 devices, 60 access points, 20 saved connections, a
// Wi-Fi connection and 2 dial-up connections up). Three ways of listing, each giving the live
// list in NetworkManager's order:
// - before: one GetManagedObjects over the whole tree, walked whole (the listing until now);
// - each: the manager's ActiveConnections, then GetAll on each active connection (1 + N calls);
// - now: the program's own listing (NmDialup::List): ActiveConnections on every call, and
//   GetAll only on a connection new to the list (read once while NetworkManager runs).
// For each: time per listing (median), D-Bus calls, bytes received from the bus and the mock's
// CPU time per listing, and a matching second: a listing every millisecond for one second (or
// back to back when one takes longer), as the schedule lists on every tick then, with the CPU
// time the mock and the bus daemon spent in it (schedstat, all threads). Bytes are counted by
// this program's own recvmsg(2), which the bus library calls (built with its symbols exported,
// so that it takes the place of the C library's). Prints tables; asserts nothing.
#include <dlfcn.h>
#include <sys/socket.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/nm_dialup.h"
#include "platform/linux/nm_objects.h"
#include "tests/linux_dialup/test_support.h"

namespace {
std::atomic<long long> bytesReceived{0};
}  // namespace

// Every message the bus library receives comes through here.
extern "C" ssize_t recvmsg(int fd, struct msghdr* message, int flags) {
  using Real = ssize_t (*)(int, struct msghdr*, int);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "recvmsg"));
  const ssize_t received = real(fd, message, flags);
  if (received > 0) bytesReceived += received;
  return received;
}

namespace {

using Clock = std::chrono::steady_clock;
using Settings = QMap<QString, QVariantMap>;
using platform::linux_ras::DialupDeviceType;
const QString kNm = "org.freedesktop.NetworkManager";
const QString kNmPath = "/org/freedesktop/NetworkManager";
const QString kActive = "org.freedesktop.NetworkManager.Connection.Active";
const QString kProperties = "org.freedesktop.DBus.Properties";
const QString kMock = "org.freedesktop.DBus.Mock";

QDBusMessage Call(QDBusConnection& bus, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& args, const QString& service = kNm) {
  QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
  message.setArguments(args);
  return bus.call(message, QDBus::Block, 5000);
}

// A listing: the number of dial-up connections it found, and the calls it made.
struct Listed {
  int dialup = 0;
  long calls = 0;
};
using Listing = std::function<Listed()>;

std::vector<QString> Paths(const QVariant& value) {
  std::vector<QString> paths;
  for (const QDBusObjectPath& path : qdbus_cast<QList<QDBusObjectPath>>(value)) {
    paths.push_back(path.path());
  }
  return paths;
}

// The listing until now: GetManagedObjects, every object's every interface read.
Listed WholeTree(QDBusConnection& bus) {
  const QDBusMessage reply =
      Call(bus, "/org/freedesktop", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", {});
  const QDBusArgument tree = reply.arguments().value(0).value<QDBusArgument>();
  std::vector<QString> order;
  QMap<QString, QString> types;
  tree.beginMap();
  while (!tree.atEnd()) {
    QDBusObjectPath path;
    tree.beginMapEntry();
    tree >> path;
    tree.beginMap();
    while (!tree.atEnd()) {
      QString interface;
      QVariantMap properties;
      tree.beginMapEntry();
      tree >> interface >> properties;
      tree.endMapEntry();
      if (interface == kNm) order = Paths(properties.value("ActiveConnections"));
      if (interface == kActive) types[path.path()] = properties.value("Type").toString();
    }
    tree.endMap();
    tree.endMapEntry();
  }
  tree.endMap();
  Listed listed{0, 1};
  for (const QString& path : order) {
    if (DialupDeviceType(types.value(path).toStdString(), false)) ++listed.dialup;
  }
  return listed;
}

// The list, then each active connection's properties, read anew every time.
Listed EachConnection(QDBusConnection& bus) {
  const QDBusMessage list = Call(bus, kNmPath, kProperties, "Get", {kNm, "ActiveConnections"});
  Listed listed{0, 1};
  for (const QString& path : Paths(list.arguments().value(0).value<QDBusVariant>().variant())) {
    const QDBusMessage reply = Call(bus, path, kProperties, "GetAll", {kActive});
    ++listed.calls;
    const auto properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    if (DialupDeviceType(properties.value("Type").toString().toStdString(), false)) {
      ++listed.dialup;
    }
  }
  return listed;
}

// CPU time of every thread of a process so far, in ns.
double CpuNs(pid_t pid) {
  double total = 0;
  std::error_code error;
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream in(task.path() / "schedstat");
    double ns = 0;
    in >> ns;
    total += ns;
  }
  return total;
}

struct Figures {
  double firstMs = 0;       // the first listing of the tree
  double msPerListing = 0;  // median, once warm
  double calls = 0;         // per listing, once warm
  double kibIn = 0;         // received per listing, once warm
  double mockUs = 0;        // the mock's CPU per listing, once warm
  int inSecond = 0;         // listings in the matching second
  double mockMs = 0;        // the mock's CPU in that second
  double busMs = 0;         // the bus daemon's
  int dialup = 0;
};

double Ms(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

Figures Measure(const Listing& listing, pid_t mock, pid_t bus, int rounds) {
  Figures f;
  auto start = Clock::now();
  f.dialup = listing().dialup;
  f.firstMs = Ms(Clock::now() - start);
  std::vector<double> ms;
  long calls = 0;
  const long long bytesBefore = bytesReceived;
  const double mockStart = CpuNs(mock);
  for (int r = 0; r < rounds; ++r) {
    start = Clock::now();
    calls += listing().calls;
    ms.push_back(Ms(Clock::now() - start));
  }
  f.mockUs = (CpuNs(mock) - mockStart) / 1e3 / rounds;
  f.kibIn = double(bytesReceived - bytesBefore) / rounds / 1024;
  f.calls = double(calls) / rounds;
  std::sort(ms.begin(), ms.end());
  f.msPerListing = ms[ms.size() / 2];

  const double mockBefore = CpuNs(mock), busBefore = CpuNs(bus);
  start = Clock::now();
  for (auto tick = start; Clock::now() - start < std::chrono::seconds(1);
       tick += std::chrono::milliseconds(1)) {
    std::this_thread::sleep_until(tick);
    listing();
    ++f.inSecond;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  f.mockMs = (CpuNs(mock) - mockBefore) / 1e6 / seconds;
  f.busMs = (CpuNs(bus) - busBefore) / 1e6 / seconds;
  return f;
}

// A NetworkManager mock with `dialup` active gsm connections and one wired device, or with a
// laptop's tree.
class Tree {
 public:
  Tree(QDBusConnection& bus, const std::filesystem::path& log) : bus_(bus) {
    mock_.emplace(std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--system", "-t",
                                           "networkmanager", "-l", log.string()});
    for (int i = 0; i < 3000; ++i) {
      const QDBusMessage owner = Call(bus, "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                      "NameHasOwner", {kNm}, "org.freedesktop.DBus");
      if (owner.arguments().value(0).toBool()) break;
      QThread::msleep(10);
    }
  }
  pid_t pid() const { return mock_->pid(); }
  QString Device(const char* method, const QString& name, unsigned state) {
    return Mock(method, {name, name, state}).toString();
  }
  QString Saved(const QString& type, const QString& id) {
    const Settings settings = {{"connection", {{"type", type}, {"id", id}}}};
    const QDBusMessage added = Call(bus_, kNmPath + "/Settings", kNm + ".Settings", "AddConnection",
                                    {QVariant::fromValue(settings)});
    return added.arguments().value(0).value<QDBusObjectPath>().path();
  }
  void Up(const QString& connection, const QStringList& devices) {
    Mock("AddActiveConnection", {devices, connection, "/", QString::number(++active_), 2u});
  }
  void AccessPoint(const QString& device, int n) {
    Mock("AddAccessPoint", {device, QString("ap%1").arg(n), QString("Network %1").arg(n),
                            QString("00:11:22:33:44:%1").arg(n, 2, 16, QChar('0')), 2u, 2412u,
                            54000u, QVariant::fromValue(uchar(40 + n % 60)), 0u});
  }

 private:
  QVariant Mock(const QString& method, const QVariantList& args) {
    return Call(bus_, "/org/freedesktop", kMock, method, args).arguments().value(0);
  }
  QDBusConnection& bus_;
  std::optional<dialup_test::Child> mock_;
  int active_ = 0;
};

void PrintRow(const std::string& tree, const char* way, const Figures& f) {
  std::printf("%-7s %-7s %7d %8.2f %8.2f %6.1f %8.2f %8.0f %8d %8.1f %8.1f\n", tree.c_str(), way,
              f.dialup, f.firstMs, f.msPerListing, f.calls, f.kibIn, f.mockUs, f.inSecond, f.mockMs,
              f.busMs);
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
  platform::linux_ras::NmDialup now(platform::linux_ras::ConnectToSystemBus);

  std::printf("%-7s %-7s %7s %8s %8s %6s %8s %8s %8s %8s %8s\n", "tree", "listing", "dial-up",
              "first ms", "ms/list", "calls", "KiB in", "mock us", "listings", "mock ms", "bus ms");
  for (const std::string tree : {"1", "16", "64", "256", "laptop"}) {
    Tree mock(bus, dir.path() / ("nm-" + tree + ".log"));
    if (tree == "laptop") {
      const QString wlan = mock.Device("AddWiFiDevice", "wlan0", 100);
      mock.Device("AddEthernetDevice", "eth0", 20);
      mock.Device("AddEthernetDevice", "eth1", 20);
      for (int i = 0; i < 60; ++i) mock.AccessPoint(wlan, i);
      const QString home = mock.Saved("802-11-wireless", "Home");
      for (int i = 1; i < 18; ++i) mock.Saved("802-11-wireless", QString("Wi-Fi %1").arg(i));
      const QString mobile = mock.Saved("gsm", "Mobile");
      const QString office = mock.Saved("vpn", "Office VPN");
      mock.Up(home, {wlan});
      mock.Up(mobile, {});
      mock.Up(office, {});
    } else {
      mock.Device("AddEthernetDevice", "eth0", 100);
      for (int i = 0; i < std::stoi(tree); ++i)
        mock.Up(mock.Saved("gsm", QString("Modem %1").arg(i)), {});
    }
    const int rounds = tree == "256" ? 20 : 100;
    const Listing before = [&] { return WholeTree(bus); };
    const Listing each = [&] { return EachConnection(bus); };
    const Listing program = [&] {
      std::vector<platform::linux_ras::NmLink> links;
      const long callsBefore = now.calls();
      now.List(links);
      return Listed{int(links.size()), now.calls() - callsBefore};
    };
    PrintRow(tree, "before", Measure(before, mock.pid(), daemon.pid(), rounds));
    PrintRow(tree, "each", Measure(each, mock.pid(), daemon.pid(), rounds));
    PrintRow(tree, "now", Measure(program, mock.pid(), daemon.pid(), rounds));
  }
  std::printf(
      "first ms: the first listing of the tree (now: it reads every connection); ms/list, calls,\n"
      "KiB in (received from the bus), mock us (the mock's CPU): per listing after it, the time\n"
      "a median; listings, mock ms, bus ms: a matching second, one listing a millisecond (back\n"
      "to back when slower), and the CPU time the mock and the bus daemon spent in it\n");
  return 0;
}
