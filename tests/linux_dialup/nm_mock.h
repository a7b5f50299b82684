// The fixture of the tests against NetworkManager: a fresh python3-dbusmock NetworkManager on
// this run's private bus for each test, with one wired device as a real machine has, and what
// the tests ask of it: connections brought up, the calls it logged, listings of the layer.
#pragma once

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

#include "dialup/rasconna.h"
#include "tests/linux_dialup/test_support.h"

// QStrings in GoogleTest's messages as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace dialup_test {

inline const QString kNm = "org.freedesktop.NetworkManager";
inline const QString kNmPath = "/org/freedesktop/NetworkManager";

class NetworkManager : public ::testing::Test {
 protected:
  void SetUp() override;
  // Starts the mock (again, after StopMock: a NetworkManager that restarted).
  void StartMock();
  void StopMock() { mock_.reset(); }
  // Connects the test to the private bus (again, after the bus restarted).
  void ConnectControl();
  // The mock's method called with `args`; its first answer.
  QVariant Call(const QString& path, const QString& method, const QVariantList& args,
                const QString& interface = "org.freedesktop.DBus.Mock");
  // Adds a connection of `type` (a Bluetooth one of `bluetoothType`, if given) and brings it
  // up; returns its active connection's path. Each gets a path of its own within the run
  // (what the layer writes is written once a path), or `name`'s when given.
  QString Activate(const QString& type, const QString& id, const QString& bluetoothType = {},
                   const QString& name = {});
  // The mock's log lines that hold `text`, in the order they were written.
  QStringList Logged(const QString& text) const;
  // The active connections DeactivateConnection was called on, in order.
  QStringList Deactivated() const;
  // RasEnumConnectionsA into records_, the first record's dwSize being `size`.
  std::uint32_t Enumerate(std::uint32_t size = sizeof(Module1::RASCONNA),
                          std::size_t records = Module1::kBufferRecords);
  // The connections' names as the last listing gave them.
  std::vector<std::string> ListedNames() const;

  TempDir dir_;
  QDBusConnection control_{QString()};  // to the mock, on the private bus
  std::optional<Child> mock_;
  std::vector<Module1::RASCONNA> records_ = std::vector<Module1::RASCONNA>(Module1::kBufferRecords);
  std::uint32_t bytes_ = 0, count_ = 0;
};

}  // namespace dialup_test
