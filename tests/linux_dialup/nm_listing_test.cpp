// How the Linux layer lists and hangs up NetworkManager's connections, against a NetworkManager
// mock on a private bus: which kinds count as dial-up, what each record holds, the order, the
// handles, and what one listing asks of NetworkManager. These are the Remote Access calls as
// the hang-up routine makes them on Linux; a fault here ends the wrong connection or none.
#include <gtest/gtest.h>

#include <QDBusObjectPath>
#include <cstring>
#include <string>
#include <vector>

#include "dialup/module1.h"
#include "platform/ras.h"
#include "tests/linux_dialup/nm_mock.h"
#include "tests/linux_dialup/session.h"
#include "tests/linux_dialup/test_support.h"
#include "tests/named_rows.h"

namespace dialup_test {
namespace {

using named_rows::PrintTo;

using Module1::RASCONNA;

// One kind of NetworkManager connection, and the device type it is listed with (none: it is
// not dial-up and is not listed).
struct Kind {
  const char* name;
  const char* type;
  const char* bluetoothType;  // its bluetooth.type setting; empty: none
  const char* device;
};

class DialupKinds : public NetworkManager, public ::testing::WithParamInterface<Kind> {};

TEST_P(DialupKinds, AreListedWithTheirDeviceType) {
  const Kind& kind = GetParam();
  Activate(kind.type, "Link", kind.bluetoothType);
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  if (!kind.device) {
    EXPECT_EQ(count_, 0u);
    return;
  }
  ASSERT_EQ(count_, 1u);
  EXPECT_STREQ(records_[0].szEntryName, "Link");
  EXPECT_STREQ(records_[0].szDeviceType, kind.device);
  EXPECT_STREQ(records_[0].szDeviceName, kind.type);
}

INSTANTIATE_TEST_SUITE_P(
    NetworkManager, DialupKinds,
    ::testing::Values(Kind{"Gsm", "gsm", "", "modem"}, Kind{"Cdma", "cdma", "", "modem"},
                      Kind{"Pppoe", "pppoe", "", "PPPoE"}, Kind{"Adsl", "adsl", "", "ATM"},
                      Kind{"Vpn", "vpn", "", "vpn"}, Kind{"WireGuard", "wireguard", "", "vpn"},
                      Kind{"BluetoothDun", "bluetooth", "dun", "modem"},
                      Kind{"BluetoothPan", "bluetooth", "panu", nullptr},
                      Kind{"BluetoothWithoutSettings", "bluetooth", "", nullptr},
                      Kind{"Ethernet", "802-3-ethernet", "", nullptr},
                      Kind{"WiFi", "802-11-wireless", "", nullptr}),
    named_rows::ByName());

// A connection's name as its record's 257-byte field holds it: cut to 256 bytes at a whole
// UTF-8 character, then zeros to the end.
struct EntryName {
  const char* name;
  QString id;
  std::string field;  // before the zeros
};

class EntryNames : public NetworkManager, public ::testing::WithParamInterface<EntryName> {};

TEST_P(EntryNames, FillTheRecordsNameField) {
  const EntryName& row = GetParam();
  std::memset(records_.data(), 0xAB, sizeof(RASCONNA));
  Activate("gsm", row.id);
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  ASSERT_EQ(count_, 1u);
  const std::string field(records_[0].szEntryName, sizeof records_[0].szEntryName);
  EXPECT_EQ(field, row.field + std::string(field.size() - row.field.size(), '\0'));
}

INSTANTIATE_TEST_SUITE_P(
    NetworkManager, EntryNames,
    ::testing::Values(EntryName{"Short", "Mobile", "Mobile"},
                      EntryName{"Longest", QString(256, 'n'), std::string(256, 'n')},
                      EntryName{"TooLong", QString(300, 'v'), std::string(256, 'v')},
                      EntryName{"TooLongInAWholeCharacter",
                                QString(255, 'd') + QStringLiteral("\u00e9"),
                                std::string(255, 'd')},
                      EntryName{"Empty", "", ""}),
    named_rows::ByName());

TEST_F(NetworkManager, ListsNetworkManagersConnectionsThenPppdLinks) {
  Activate("gsm", "Mobile");
  Child byHand({Standin("pppd"), "call", "myisp"});
  Activate("vpn", "Office");
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  EXPECT_EQ(ListedNames(), (std::vector<std::string>{"Mobile", "Office", "myisp"}));
}

TEST_F(NetworkManager, HandlesCountFromOneInListOrder) {
  Activate("gsm", "Mobile");
  Activate("vpn", "Office");
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  ASSERT_EQ(count_, 2u);
  EXPECT_EQ(records_[0].hrasconn, 1u);
  EXPECT_EQ(records_[1].hrasconn, 2u);
  EXPECT_EQ(records_[1].dwSize, sizeof(RASCONNA));
}

TEST_F(NetworkManager, APppdNetworkManagerStartedIsNotListed) {
  Child networkManager({Standin("NetworkManager"), Standin("pppd"), "plugin",
                        "/usr/lib/x86_64-linux-gnu/NetworkManager/1.42.4/libnm-ppp-plugin.so"},
                       true);
  ASSERT_FALSE(networkManager.ReadLine().empty());  // its pppd runs
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  EXPECT_EQ(count_, 0u);
}

TEST_F(NetworkManager, ARecordOfAnotherSizeIsRefused) {
  Activate("gsm", "Mobile");
  EXPECT_EQ(Enumerate(sizeof(RASCONNA) - 4), platform::kRasInvalidSize);
}

TEST_F(NetworkManager, ATooSmallBufferGetsTheSizeNeededAndNoRecord) {
  Activate("gsm", "Mobile");
  Activate("vpn", "Office");
  records_[0].szEntryName[0] = '#';
  EXPECT_EQ(Enumerate(sizeof(RASCONNA), 1), platform::kRasBufferTooSmall);
  EXPECT_EQ(bytes_, 2 * sizeof(RASCONNA));
  EXPECT_EQ(count_, 0u);
  EXPECT_EQ(records_[0].szEntryName[0], '#');
}

TEST_F(NetworkManager, RecordsPastTheCountAreLeftAsTheyWere) {
  Activate("gsm", "Mobile");
  std::memset(records_.data(), 0xAB, sizeof(RASCONNA) * 2);
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  ASSERT_EQ(count_, 1u);
  EXPECT_EQ(records_[1].szEntryName[0], '\xAB');
}

TEST_F(NetworkManager, OnlyHandlesOfTheLastListingNameAConnection) {
  Activate("gsm", "Mobile");
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  EXPECT_EQ(platform::RasHangUpA(0), platform::kRasInvalidHandle);
  EXPECT_EQ(platform::RasHangUpA(count_ + 1), platform::kRasInvalidHandle);
}

TEST_F(NetworkManager, AHandleHangsUpOnce) {
  const QString mobile = Activate("gsm", "Mobile");
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  EXPECT_EQ(platform::RasHangUpA(1), platform::kRasSuccess);
  EXPECT_EQ(platform::RasHangUpA(1), platform::kRasInvalidHandle);
  EXPECT_EQ(Deactivated(), QStringList{mobile});
}

TEST_F(NetworkManager, TheRoutineEndsNamedConnectionsInListOrder) {
  Activate("gsm", "");
  const QString office = Activate("vpn", "Office");
  Activate("802-3-ethernet", "Wired");
  const QString dsl = Activate("pppoe", "DSL");
  Module1::HangUpConnections();
  EXPECT_EQ(Deactivated(), (QStringList{office, dsl}));
}

TEST_F(NetworkManager, MoreThan256ConnectionsAreNoneHungUp) {
  for (std::size_t i = 0; i <= Module1::kBufferRecords; ++i) Activate("gsm", "Mobile");
  Module1::HangUpConnections();
  EXPECT_EQ(Deactivated(), QStringList());
}

// What one listing asks: the list on every call, each connection's properties once. (The mock
// logs its own reads of the list too, so those before the listings are not counted.)
TEST_F(NetworkManager, EachConnectionIsReadOnceAndTheListEveryTime) {
  const QString mobile = Activate("gsm", "Mobile");
  const QString wired = Activate("802-3-ethernet", "Wired");
  const QString listRead = " Get " + kNmPath + " " + kNm + ".ActiveConnections";
  const qsizetype listReadsBefore = Logged(listRead).size();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  EXPECT_EQ(Logged(listRead).size() - listReadsBefore, 3);
  EXPECT_EQ(Logged(" GetAll " + mobile + " ").size(), 1);
  EXPECT_EQ(Logged(" GetAll " + wired + " ").size(), 1);
}

TEST_F(NetworkManager, AConnectionUpSinceTheLastListingIsListed) {
  Activate("gsm", "Mobile");
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  Activate("vpn", "Office");
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  EXPECT_EQ(ListedNames(), (std::vector<std::string>{"Mobile", "Office"}));
}

TEST_F(NetworkManager, AConnectionDownSinceTheLastListingIsNotListed) {
  const QString mobile = Activate("gsm", "Mobile");
  Activate("vpn", "Office");
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  Call(kNmPath, "DeactivateConnection", {QVariant::fromValue(QDBusObjectPath(mobile))}, kNm);
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  EXPECT_EQ(ListedNames(), std::vector<std::string>{"Office"});
}

// A NetworkManager that restarted numbers its active connections afresh: a path the last one
// gave a VPN may now be a modem's.
TEST_F(NetworkManager, ARestartedNetworkManagersConnectionsAreReadAfresh) {
  Activate("vpn", "Office", {}, "restarted");
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  StopMock();
  StartMock();
  Activate("gsm", "Mobile", {}, "restarted");
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);
  EXPECT_EQ(ListedNames(), std::vector<std::string>{"Mobile"});
}

// A bus without NetworkManager, as on many machines: nothing is written.
TEST_F(NetworkManager, NoNetworkManagerIsNoFault) {
  StopMock();
  ::testing::internal::CaptureStderr();
  Module1::HangUpConnections();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(NetworkManager, NoBusListsNothing) {
  Activate("gsm", "Mobile");
  StopBus();
  const std::uint32_t result = Enumerate();
  ASSERT_TRUE(StartBus());  // for the tests after this one
  EXPECT_EQ(result, platform::kRasSuccess);
  EXPECT_EQ(count_, 0u);
}

TEST_F(NetworkManager, ReconnectsToASystemBusThatCameBack) {
  ASSERT_EQ(Enumerate(), platform::kRasSuccess);  // connected to the bus
  StopMock();
  StopBus();
  ASSERT_TRUE(StartBus());
  ConnectControl();
  StartMock();
  const QString again = Activate("vpn", "Office VPN");
  Module1::HangUpConnections();
  EXPECT_EQ(Deactivated(), QStringList{again});
}

}  // namespace
}  // namespace dialup_test
