// The Linux dial-up layer against a NetworkManager mock, stand-in pppd processes and a fake /proc.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QThread>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <regex>

#include "dialup/module1.h"
#include "platform/linux/pppd_dialup.h"
#include "platform/ras.h"
#include "tests/linux_dialup/test_support.h"

void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace {

using dialup_test::Child;
using Module1::RASCONNA;
using namespace platform::linux_ras;
using namespace std::string_literals;
namespace fs = std::filesystem;

fs::path tmp;  // this run's: the bus's socket, the stand-ins' links
std::optional<Child> bus;
std::string Standin(const char* name) { return (tmp / name).string(); }
std::string Address() { return "unix:path=" + Standin("bus"); }
QDBusConnection Control() { return QDBusConnection::connectToBus(Address().c_str(), "control"); }
void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}
bool StartBus() {  // at its fixed address, or anew
  bus.emplace(std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork",
                                       "--address=" + Address(), "--print-address"},
              true);
  return !bus->ReadLine().empty();
}
bool ForeignPppd() { return !PppdDialup().List().empty(); }  // asked before a stand-in starts

#define NM "org.freedesktop.NetworkManager"
#define DBUS "org.freedesktop.DBus.Error"
const QString kNm = NM, kNmPath = "/org/freedesktop/NetworkManager";

// Each test gets a fresh NetworkManager mock with one wired device.
class NetworkManager : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ForeignPppd()) GTEST_SKIP() << "this machine runs a pppd of its own";
    mock_.emplace(std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--system", "-t",
                                           "networkmanager", "-l", log_.string()});
    for (int i = 0; i < 3000 && !control_.interface()->isServiceRegistered(kNm); ++i)
      QThread::msleep(10);  // a cold python start
    Call("/org/freedesktop", "AddEthernetDevice", {"eth0", "eth0", 100});
  }
  QVariant Call(const QString& path, const QString& method, const QVariantList& args,
                const QString& interface = "org.freedesktop.DBus.Mock") {  // its first answer
    QDBusMessage message = QDBusMessage::createMethodCall(kNm, path, interface, method);
    message.setArguments(args);
    const QDBusMessage reply = control_.call(message);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    return reply.arguments().value(0);
  }
  // Adds a connection ("bluetooth/dun": of that Bluetooth type) and brings it up.
  QString Activate(const QString& type, const QString& id) {
    static int activated = 0;  // a path of its own, for what is reported once a path
    using Settings = QMap<QString, QVariantMap>;
    qDBusRegisterMetaType<Settings>();
    Settings settings = {{"connection", {{"type", type.section('/', 0, 0)}, {"id", id}}}};
    if (type.contains('/')) settings["bluetooth"] = {{"type", type.section('/', 1)}};
    const QVariant added = Call(kNmPath + "/Settings", "AddConnection",
                                {QVariant::fromValue(settings)}, kNm + ".Settings");
    const QString connection = added.value<QDBusObjectPath>().path();
    return Call("/org/freedesktop", "AddActiveConnection",
                {QStringList(), connection, "/", QString::number(++activated), 2u})
        .toString();
  }
  QStringList Deactivated() {  // in the order asked
    std::ifstream in(log_);
    const std::string log(std::istreambuf_iterator<char>(in), {});
    const std::regex call(R"(DeactivateConnection "([^"]*)\")");
    QStringList paths;
    for (std::sregex_iterator it(log.begin(), log.end(), call), end; it != end; ++it)
      paths << QString::fromStdString((*it)[1]);
    return paths;
  }
  std::uint32_t Enumerate(std::uint32_t size = sizeof(RASCONNA),
                          std::size_t records = Module1::kBufferRecords) {
    records_[0].dwSize = size;
    bytes_ = static_cast<std::uint32_t>(sizeof(RASCONNA) * records);
    count_ = 99;
    return platform::RasEnumConnectionsA(records_.data(), &bytes_, &count_);
  }

  dialup_test::TempDir dir_;
  const fs::path log_ = dir_.path() / "nm.log";
  QDBusConnection control_ = Control();
  std::optional<Child> mock_;
  std::vector<RASCONNA> records_ = std::vector<RASCONNA>(Module1::kBufferRecords);
  std::uint32_t bytes_ = 0, count_ = 0;
};

// Named dial-up kinds in list order, then each pppd NetworkManager did not start; the rest left.
TEST_F(NetworkManager, HangsUpNamedDialupKindsThenPppdInListOrder) {
  struct Row {
    QString type, id;
    const char* device;  // none: not dial-up
    std::string name = "";
  };
  const std::vector<Row> rows = {
      {"pppoe", "DSL", "PPPoE"},
      {"802-3-ethernet", "Wired", nullptr},
      {"gsm", "Mobile", "modem"},
      {"bluetooth/panu", "Phone PAN", nullptr},
      {"bluetooth", "Phone", nullptr},  // no Bluetooth settings
      {"gsm", "", "modem"},
      {"adsl", "ADSL", "ATM"},
      {"vpn", QString(300, 'v'), "vpn", std::string(256, 'v')},
      {"wireguard", "wg0", "vpn"},
      {"cdma", "EVDO", "modem"},
      {"bluetooth/dun", "Phone DUN", "modem"},
      {"pppoe", QString(255, 'd') + QStringLiteral("\u00e9"), "PPPoE", std::string(255, 'd')},
      {"pppd", "myisp", "modem"},  // a pppd dialled by hand
  };
  // A record as text: its size, handle, whole name field, device type and name.
  const auto text = [](const RASCONNA& r) {
    return std::to_string(r.dwSize) + " " + std::to_string(r.hrasconn) + " " +
           std::string(r.szEntryName, sizeof r.szEntryName) + r.szDeviceType + " " + r.szDeviceName;
  };
  std::vector<std::string> expected, listed;
  QStringList hungUp;
  for (const Row& row : rows) {
    const QString path = row.type == "pppd" ? "" : Activate(row.type, row.id);
    if (!row.device) continue;
    if (!row.id.isEmpty() && !path.isEmpty()) hungUp << path;
    const std::string name = row.name.empty() ? row.id.toStdString() : row.name;
    expected.push_back(std::to_string(sizeof(RASCONNA)) + " " +
                       std::to_string(expected.size() + 1) + " " + name +
                       std::string(257 - name.size(), '\0') + row.device + " " +
                       row.type.section('/', 0, 0).toStdString());
  }
  Child byHand({Standin("pppd"), "call", "myisp"});
  Child networkManager({Standin("NetworkManager"), Standin("pppd"), "plugin",
                        "/usr/lib/x86_64-linux-gnu/NetworkManager/1.42.4/libnm-ppp-plugin.so"},
                       true);
  networkManager.ReadLine();  // its pppd's pid, once it runs

  std::memset(records_.data(), 0xAB, sizeof(RASCONNA) * records_.size());
  EXPECT_EQ(Enumerate(sizeof(RASCONNA) - 4), platform::kRasInvalidSize);
  EXPECT_EQ(Enumerate(sizeof(RASCONNA), expected.size() - 1), platform::kRasBufferTooSmall);
  EXPECT_EQ(std::tuple(bytes_, count_), std::tuple(expected.size() * sizeof(RASCONNA), 0u));
  EXPECT_EQ(records_[0].szEntryName[0], '\xAB');
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  for (std::size_t i = 0; i < count_; ++i) listed.push_back(text(records_[i]));
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(records_[count_].szEntryName[0], '\xAB');  // past the count
  // Handles stand for what the last listing handed out, each hung up once.
  EXPECT_EQ(platform::RasHangUpA(0), platform::kRasInvalidHandle);
  EXPECT_EQ(platform::RasHangUpA(count_ + 1), platform::kRasInvalidHandle);
  EXPECT_EQ(platform::RasHangUpA(1), platform::kRasSuccess);
  EXPECT_EQ(platform::RasHangUpA(1), platform::kRasInvalidHandle);
  Module1::HangUpConnections();
  EXPECT_EQ(Deactivated(), hungUp);
}

// NetworkManager failing (`method` replaced by `code`, or stopped) over three hang-ups, mended
// after the first: which connections go, what is written; a hand-dialled pppd ends at once.
struct Fault {
  const char* name;
  const char* method;       // none: NetworkManager is stopped
  const char* code;         // %1, %2: the first two connections; %3: a file that ends a stall
  const char* deactivated;  // by index, in order
  std::string written;
};
void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }
class Faults : public NetworkManager, public ::testing::WithParamInterface<Fault> {};

TEST_P(Faults, HangUpsGoOnAndEndPppd) {
  const QStringList active = {Activate("gsm", "Mobile"), Activate("vpn", "VPN"),
                              Activate("pppoe", "DSL")};
  Child pppd({Standin("pppd"), "call", "myisp"});
  const Fault& fault = GetParam();
  const fs::path release = dir_.path() / "release";
  const bool listing = fault.method && std::strcmp(fault.method, "GetManagedObjects") == 0;
  if (!fault.method) kill(mock_->pid(), SIGSTOP);
  QString code = "E = dbus.exceptions.DBusException; DBUS = '" DBUS "'; NM = '" NM "'\n";
  code.append(fault.code).replace("%1", active[0]).replace("%2", active[1]);
  if (fault.method) {
    Call(listing ? "/org/freedesktop" : kNmPath, "AddMethod",
         {listing ? "org.freedesktop.DBus.ObjectManager" : kNm, fault.method, listing ? "" : "o",
          listing ? "a{oa{sa{sv}}}" : "", code.replace("%3", release.c_str())});
  }
  ::testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  Module1::HangUpConnections();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(pppd.KillAndReap(), SIGTERM);
  Write(release, "");
  kill(mock_->pid(), SIGCONT);
  Call(kNmPath, "GetDevices", {}, kNm);  // once the mock has caught up
  Module1::HangUpConnections();
  Module1::HangUpConnections();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            fault.written.empty() ? "" : "prekidnik: " + fault.written + "\n");
  QStringList expected;
  for (const char* i = fault.deactivated; *i; ++i) expected << active[*i - '0'];
  EXPECT_EQ(Deactivated(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    NetworkManager, Faults,
    ::testing::Values(
        Fault{"StalledHangUp", "DeactivateConnection",
              "while not os.path.exists('%3'): time.sleep(0.01)", "0012012",
              "could not hang up \"Mobile\": NetworkManager did not answer in time"},
        Fault{"Stopped", nullptr, "", "012", "NetworkManager did not list its connections in time"},
        Fault{"ListingRefused", "GetManagedObjects", "raise E('no', name=f'{DBUS}.AccessDenied')",
              "", "NetworkManager did not list its connections: " DBUS ".AccessDenied: no"},
        // Refused, or gone meanwhile: only the refusal is written, once.
        Fault{"RefusedOrGone", "DeactivateConnection",
              "if args[0] == '%1': raise E('polkit says no', name=f'{NM}.PermissionDenied')\n"
              "if args[0] == '%2': raise E('gone', name=f'{NM}.ConnectionNotActive')\n"
              "self.deactivate_connection(self, args[0])",
              "0120101", "could not hang up \"Mobile\": " NM ".PermissionDenied: polkit says no"},
        // A listing of its own: twice, gone, no such interface, a type no text; then not a list.
        Fault{
            "OddListing", "GetManagedObjects",
            "A = NM + '.Connection.Active'; P = '/org/freedesktop/NetworkManager'\n"
            "self.n = getattr(self, 'n', 0) + 1\n"
            "L = dbus.Array(['%2', '%1', '/gone', '%2', P, '/bad'], signature='o')\n"
            "ret = {P: {NM: {'ActiveConnections': L if self.n == 1 else '%1'}},\n"
            "  '%1': {A: {'Type': 'gsm', 'Id': 'Mobile'}}, '%2': {A: {'Type': 'vpn', 'Id': 'V'}},\n"
            "  '/bad': {A: {'Type': dbus.Int32(1), 'Id': 'Bad'}}}",
            "10", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The system bus restarts while the program runs: the next request finds it.
TEST_F(NetworkManager, ReconnectsToASystemBusThatCameBack) {
  mock_.reset();  // a bus without NetworkManager, as on many machines: nothing to write
  ::testing::internal::CaptureStderr();
  Module1::HangUpConnections();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  bus.reset();
  EXPECT_EQ(Enumerate(), platform::kRasSuccess);  // no bus for a moment: nothing listed
  EXPECT_EQ(count_, 0u);
  ASSERT_TRUE(StartBus());
  QDBusConnection::disconnectFromBus("control");
  control_ = Control();
  SetUp();
  const QString again = Activate("vpn", "Office VPN");
  Module1::HangUpConnections();
  EXPECT_EQ(Deactivated(), QStringList{again});
}

// As "nobody" with no system bus: root's pppd refuses the signal, written once.
TEST(RealProc, AnotherUsersPppdIsReportedOnce) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to run processes as two users";
  if (ForeignPppd()) GTEST_SKIP() << "this machine runs a pppd of its own";
  constexpr int kNobody = 65534;
  Child others({Standin("pppd"), "call", "isp-of-root"});
  Child hangUp({fs::read_symlink("/proc/self/exe").string(), "--hang-up-thrice"}, true, kNobody);
  std::string written;
  for (std::string line; !(line = hangUp.ReadLine()).empty();) written += line + "\n";
  EXPECT_EQ(written, "prekidnik: could not hang up \"isp-of-root\" (pppd " +
                         std::to_string(others.pid()) + "): Operation not permitted\n");
}

// Folders laid out like /proc and /run; what was asked of the kernel (a pin's fd is 1000 + pid).
class FakeProc : public ::testing::Test, public ProcessSignals {
 protected:
  void Add(pid_t pid, const std::string& cmdline, const std::string& comm = "pppd",
           pid_t parent = 1, char state = 'S') {
    Write(proc_.path() / std::to_string(pid) / "comm", comm + "\n");
    Write(proc_.path() / std::to_string(pid) / "cmdline", cmdline);
    Stat(pid, 5000, parent, state);
  }
  void Stat(pid_t pid, unsigned long long startTime, pid_t parent = 1, char state = 'S') {
    std::string stat = std::to_string(pid) + " (x) y) " + state;  // each field its own number
    for (int field = 4; field <= 30; ++field)
      stat += " " + std::to_string(field == 22 ? startTime : field == 4 ? parent : field);
    Write(proc_.path() / std::to_string(pid) / "stat", stat + "\n");
  }
  int Open(pid_t pid) override {
    if (pid == reusedOnOpen) Stat(pid, 7777);
    return Log("open", pid, 0, openError) < 0 ? -1 : 1000 + pid;
  }
  int Signal(int fd, int signal) override { return Log("signal", fd - 1000, signal, sendError); }
  int Kill(pid_t pid, int signal) override { return Log("kill", pid, signal, sendError); }
  void Close(int fd) override { Log("close", fd - 1000); }
  int Log(const std::string& call, pid_t pid, int signal = 0, int error = 0) {
    log_.push_back(call + " " + std::to_string(pid) + (signal ? " " + std::to_string(signal) : ""));
    return error ? (errno = error, -1) : 0;
  }

  dialup_test::TempDir proc_, run_;
  PppdDialup pppd_{proc_.path(), run_.path(), this};
  std::vector<std::string> log_;
  int openError = 0, sendError = 0;
  pid_t reusedOnOpen = 0;
};

// Which processes are pppd links, in pid order, by what name; NetworkManager's never signalled.
TEST_F(FakeProc, ListsPppdLinksByName) {
  struct Row {
    pid_t pid;
    std::string cmdline, name;  // "*": NetworkManager's; no name: not listed
    std::string comm = "pppd";
    pid_t parent = 1;
    char state = 'S';
  };
  const std::string plugin = "pppd\0plugin\0/usr/lib/NetworkManager/1.42/libnm-ppp-plugin.so\0"s;
  const std::vector<Row> rows = {
      {12, "pppd2\0call\0c\0"s, "", "pppd2"},
      {13, "xpppd\0"s, "", "xpppd"},
      {50, "/usr/sbin/NetworkManager\0"s, "", "NetworkManager"},
      {51, "bash\0"s, "", "bash"},
      {60, plugin, "pppd 60*", "pppd", 50},
      {61, "pppd\0plugin\0nm-pppd-plugin.so\0"s, "pppd 61*", "pppd", 50},
      {62, plugin, "pppd 62", "pppd", 51},  // the plugin, from a shell
      {64, "pppd\0plugin\0rp-pppoe.so\0"s, "pppd 64", "pppd", 50},
      {100, "pppd\0call\0z\0"s, "", "pppd", 1, 'Z'},  // ended, not yet reaped
      {201, "pppd\0/dev/ttyS0\0linkname\0foo\0call\0bar\0"s, "foo"},
      {202, "pppd\0call\0bar\0linkname\0foo\0"s, "foo"},
      {203, "pppd\0call\0old\0call\0new\0"s, "new"},
      {204, "pppd\0ifname\0dsl0\0call\0\0"s, "dsl0"},
      {206, "pppd\0/dev/ttyS0\0"s, "ppp3"},
      {207, "pppd\0linkname\0"s, "ppp4"},
      {208, ""s, "pppd 208"},
      {209, "pppd\0call\0\xff\xfe\x01isp\0"s, "\xff\xfe\x01isp"},
      {210, "pppd\0" + std::string(1 << 20, 'a') + "\0call\0late\0"s, "pppd 210"},  // 64 KiB read
  };
  Write(run_.path() / "ppp3.pid", "206\n");
  Write(run_.path() / "ppp-x.pid", "207\nppp4\n");
  Write(proc_.path() / "1000" / "comm", "pppd\n");  // gone before its stat was read
  Add(1001, "pppd\0"s);
  Write(proc_.path() / "1001" / "stat", "1001 (pppd) S 1 2");  // cut short as it ended
  std::vector<std::string> expected, listed;
  for (const Row& row : rows) {
    Add(row.pid, row.cmdline, row.comm, row.parent, row.state);
    if (!row.name.empty()) expected.push_back(std::to_string(row.pid) + " " + row.name);
  }
  for (PppdLink& link : pppd_.List()) {
    listed.push_back(std::to_string(link.pid) + " " + link.name +
                     (link.startedByNetworkManager ? "*" : ""));
    if (!link.startedByNetworkManager) continue;
    EXPECT_EQ(pppd_.HangUp(link), ESRCH);
    link.startedByNetworkManager = false;  // NetworkManager's even when listed as if not
    EXPECT_EQ(pppd_.HangUp(link), ESRCH);
  }
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(log_, (std::vector<std::string>{"open 60", "close 60", "open 61", "close 61"}));
}

// Pinned, checked to be the one listed, signalled through the pin; without pidfds kill(2).
TEST_F(FakeProc, HangUpSignalsOnlyTheSamePppdThroughItsPin) {
  for (pid_t pid : {10, 11, 12, 13, 14}) Add(pid, "pppd\0call\0isp\0"s);
  const std::vector<PppdLink> links = pppd_.List();
  ASSERT_EQ(links.size(), 5u);
  Stat(11, 9999);                       // pid given to a new pppd
  Add(12, "bash\0"s, "bash");           // pid given to another program
  fs::remove_all(proc_.path() / "13");  // exited
  reusedOnOpen = 14;                    // reused after the listing, just as it is pinned
  for (const PppdLink& link : links) EXPECT_EQ(pppd_.HangUp(link), link.pid == 10 ? 0 : ESRCH);
  openError = ENOSYS;  // a kernel before 5.3
  EXPECT_EQ(pppd_.HangUp(links[0]), 0);
  EXPECT_EQ(pppd_.HangUp(links[1]), ESRCH);
  openError = EMFILE;  // no descriptor to pin it with: not signalled blind
  EXPECT_EQ(pppd_.HangUp(links[0]), EMFILE);
  openError = 0;
  sendError = EPERM;  // another user's pppd
  EXPECT_EQ(pppd_.HangUp(links[0]), EPERM);
  EXPECT_EQ(log_, (std::vector<std::string>{
                      "open 10", "signal 10 15", "close 10", "open 11", "close 11", "open 12",
                      "close 12", "open 13", "close 13", "open 14", "close 14", "open 10",
                      "kill 10 15", "open 11", "open 10", "open 10", "signal 10 15", "close 10"}));
}

// As "pppd": waits for a signal. As "NetworkManager": starts the pppd stand-in it is given as its
// child and writes its pid.
int RunStandin(int argc, char** argv) {
  std::optional<Child> pppd;
  if (fs::path(argv[0]).filename() == "NetworkManager") {
    pppd.emplace(std::vector<std::string>(argv + 1, argv + argc));
    printf("%d\n", pppd->pid());
    fflush(stdout);
  }
  for (;;) pause();
}

}  // namespace

// --with-app runs the tests under a QCoreApplication, as the window has.
int main(int argc, char** argv) {
  const std::string name = fs::path(argv[0]).filename();
  if (name == "pppd" || name == "NetworkManager") return RunStandin(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "--hang-up-thrice") == 0) {
    dup2(STDOUT_FILENO, STDERR_FILENO);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket", 1);
    for (int i = 0; i < 3; ++i, usleep(100000)) Module1::HangUpConnections();  // signals apart
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  std::unique_ptr<QCoreApplication> app;
  if (argc > 1 && std::strcmp(argv[1], "--with-app") == 0)
    app = std::make_unique<QCoreApplication>(argc, argv);
  dialup_test::TempDir dir;
  tmp = dir.path();
  for (const char* standin : {"pppd", "NetworkManager"})
    fs::create_symlink(fs::read_symlink("/proc/self/exe"), tmp / standin);
  if (!StartBus()) return 1;
  setenv("DBUS_SYSTEM_BUS_ADDRESS", Address().c_str(), 1);
  return RUN_ALL_TESTS();
}
