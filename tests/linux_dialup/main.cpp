// The dial-up test program: GoogleTest's runner, and the stand-ins the tests start from it.
//
// Run as "pppd" (through a link of that name) it waits for a signal, as a pppd holding a link
// does; as "NetworkManager" it starts the pppd stand-in it is given as its child and writes that
// child's pid. With --hang-up-thrice it hangs up three times as another user would, writing what
// it reports to its standard output. With --with-app the tests run under a QCoreApplication, as
// the window's thread does.
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>

#include "dialup/module1.h"
#include "platform/linux/pppd_dialup.h"
#include "tests/linux_dialup/session.h"
#include "tests/linux_dialup/test_support.h"

namespace dialup_test {

namespace {

std::optional<TempDir> runDir;
std::optional<Child> bus;

int RunStandin(int argc, char** argv) {
  std::optional<Child> pppd;
  if (std::filesystem::path(argv[0]).filename() == "NetworkManager") {
    pppd.emplace(std::vector<std::string>(argv + 1, argv + argc));
    printf("%d\n", pppd->pid());
    fflush(stdout);
  }
  for (;;) pause();
}

// Without a system bus, so that only the pppd links are listed.
int HangUpThrice() {
  dup2(STDOUT_FILENO, STDERR_FILENO);
  setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket", 1);
  for (int i = 0; i < 3; ++i) Module1::HangUpConnections();
  return 0;
}

}  // namespace

const std::filesystem::path& RunDir() { return runDir->path(); }
std::string Standin(const char* name) { return (RunDir() / name).string(); }
std::string BusAddress() { return "unix:path=" + (RunDir() / "bus").string(); }

bool StartBus() {
  bus.emplace(std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork",
                                       "--address=" + BusAddress(), "--print-address"},
              true);
  return !bus->ReadLine().empty();  // written once it listens
}

void StopBus() { bus.reset(); }

bool ForeignPppd() { return !platform::linux_ras::PppdDialup().List().empty(); }

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

}  // namespace dialup_test

int main(int argc, char** argv) {
  const std::string name = std::filesystem::path(argv[0]).filename();
  if (name == "pppd" || name == "NetworkManager") return dialup_test::RunStandin(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "--hang-up-thrice") == 0) {
    return dialup_test::HangUpThrice();
  }
  ::testing::InitGoogleTest(&argc, argv);
  std::unique_ptr<QCoreApplication> app;
  if (argc > 1 && std::strcmp(argv[1], "--with-app") == 0) {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  dialup_test::runDir.emplace();
  for (const char* standin : {"pppd", "NetworkManager"}) {
    std::filesystem::create_symlink(std::filesystem::read_symlink("/proc/self/exe"),
                                    dialup_test::RunDir() / standin);
  }
  if (!dialup_test::StartBus()) return 1;
  setenv("DBUS_SYSTEM_BUS_ADDRESS", dialup_test::BusAddress().c_str(), 1);
  const int result = RUN_ALL_TESTS();
  dialup_test::StopBus();
  return result;
}
