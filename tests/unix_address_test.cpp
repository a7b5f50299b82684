// Which address "IP Adresa" shows on Linux.
#include "platform/unix/unix_address.h"

#include <gtest/gtest.h>

namespace {

using unix_address::ChooseAddress;
using unix_address::InterfaceAddress;

// An up dial-up link first, then the default route's interface, then any
// that is up, then loopback.
TEST(AddressChoice, DialUpLinkFirstThenDefaultRouteThenAnyThenLoopback) {
  const InterfaceAddress lo{"lo", "127.0.0.1", true, true, false};
  const InterfaceAddress eth{"eth0", "192.168.1.20", true, false, false};
  const InterfaceAddress wlan{"wlan0", "10.0.0.7", true, false, false};
  const InterfaceAddress ppp{"ppp0", "100.64.3.9", true, false, true};
  InterfaceAddress pppDown = ppp, ethDown = eth;
  pppDown.up = ethDown.up = false;
  EXPECT_EQ(ChooseAddress({lo, eth, ppp}, "eth0"), "100.64.3.9");
  EXPECT_EQ(ChooseAddress({lo, eth, wlan}, "wlan0"), "10.0.0.7");
  EXPECT_EQ(ChooseAddress({lo, eth, wlan}, ""), "192.168.1.20");
  EXPECT_EQ(ChooseAddress({pppDown, ethDown, wlan}, "eth0"), "10.0.0.7");
  EXPECT_EQ(ChooseAddress({lo}, ""), "127.0.0.1");
  EXPECT_EQ(ChooseAddress({}, "eth0"), "127.0.0.1");
}

// The first line of /proc/net/route that is up with destination 0; flags that
// are not hexadecimal pass the line over.
TEST(AddressChoice, DefaultRouteIsReadFromTheKernelsTable) {
  const char* head = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n";
  const std::pair<std::string, std::string> cases[] = {
      {"eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\n"
       "wlan0\t00000000\t0100000A\t0002\t0\t0\t600\t00000000\n"  // not up
       "ppp0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\n",
       "ppp0"},
      {"", ""},
      {"broken line\n", ""},
      {"bad0\t00000000\t0\tzz\t0\t0\t0\t00000000\nppp0\t00000000\t0\t0003\t0\t0\t0\t00000000\n",
       "ppp0"},
  };
  for (const auto& [table, iface] : cases)
    EXPECT_EQ(unix_address::DefaultRouteInterface(head + table), iface) << table;
}

}  // namespace
