// Which address "IP Adresa" shows on Linux.
#include "platform/unix/unix_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <set>
#include <string>

namespace {

using unix_address::ChooseAddress;
using unix_address::InterfaceAddress;

const InterfaceAddress kLoopback{"lo", "127.0.0.1", true, true, false};
const InterfaceAddress kWired{"eth0", "192.168.1.20", true, false, false};
const InterfaceAddress kWireless{"wlan0", "10.0.0.7", true, false, false};
const InterfaceAddress kDialUp{"ppp0", "100.64.3.9", true, false, true};

TEST(AddressChoice, DialUpLinkFirstThenDefaultRouteThenAnyThenLoopback) {
  EXPECT_EQ(ChooseAddress({kLoopback, kWired, kDialUp}, "eth0"), "100.64.3.9");
  EXPECT_EQ(ChooseAddress({kLoopback, kWired, kWireless}, "wlan0"), "10.0.0.7");
  EXPECT_EQ(ChooseAddress({kLoopback, kWired, kWireless}, ""), "192.168.1.20");
  EXPECT_EQ(ChooseAddress({kLoopback}, ""), "127.0.0.1");
  EXPECT_EQ(ChooseAddress({}, "eth0"), "127.0.0.1");
}

TEST(AddressChoice, InterfacesThatAreDownDoNotCount) {
  InterfaceAddress downDialUp = kDialUp;
  downDialUp.up = false;
  InterfaceAddress downWired = kWired;
  downWired.up = false;
  EXPECT_EQ(ChooseAddress({downDialUp, downWired, kWireless}, "eth0"), "10.0.0.7");
}

TEST(AddressChoice, DefaultRouteIsReadFromTheKernelsTable) {
  const char* table =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
      "wlan0\t00000000\t0100000A\t0002\t0\t0\t600\t00000000\t0\t0\t0\n"  // not up
      "ppp0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n";
  EXPECT_EQ(unix_address::DefaultRouteInterface(table), "ppp0");
  EXPECT_EQ(unix_address::DefaultRouteInterface("Iface\tDestination\n"), "");
  EXPECT_EQ(unix_address::DefaultRouteInterface("Iface\nbroken line\n"), "");
  EXPECT_EQ(unix_address::DefaultRouteInterface("Iface\nbad0\t00000000\t0\tzz\t0\t0\t0\t00000000\n"
                                                "ppp0\t00000000\t0\t0003\t0\t0\t0\t00000000\n"),
            "ppp0");  // flags that are not hexadecimal: the line is passed over
}

// The answer is one of this machine's own addresses, read here on their own:
// a fixed address would not be.
TEST(AddressChoice, ThisMachineAnswersWithOneOfItsOwnAddresses) {
  std::set<std::string> own;
  ifaddrs* list = nullptr;
  ASSERT_EQ(getifaddrs(&list), 0);
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
    if (i->ifa_flags & IFF_LOOPBACK) continue;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr, text,
              sizeof text);
    own.insert(text);
  }
  freeifaddrs(list);
  unix_address::AddressSource source;
  const std::string address = source.LocalIP();
  if (own.empty()) {
    EXPECT_EQ(address, "127.0.0.1");
  } else {
    EXPECT_EQ(own.count(address), 1u) << address;
  }
}

}  // namespace
