// Which address "IP Adresa" shows on Linux.
#include "platform/unix/unix_address.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

using unix_address::InterfaceAddress;

// An up dial-up link, the default route's (first up line to 0; bad flags skipped), any up, lo.
TEST(AddressChoice, DialUpLinkFirstThenDefaultRouteThenAnyThenLoopback) {
  const InterfaceAddress lo{"lo", "127.0.0.1", true, true, false},
      eth{"eth0", "192.168.1.20", true, false, false},
      wlan{"wlan0", "10.0.0.7", true, false, false}, ppp{"ppp0", "100.64.3.9", true, false, true},
      pppDown{"ppp1", "100.64.3.10", false, false, true},
      ethDown{"eth0", "192.168.1.20", false, false, false};
  const std::tuple<std::vector<InterfaceAddress>, const char*, const char*> cases[] = {
      {{lo, eth, ppp}, "eth0", "100.64.3.9"},
      {{lo, eth, wlan}, "wlan0", "10.0.0.7"},
      {{lo, eth, wlan}, "", "192.168.1.20"},
      {{pppDown, ethDown, wlan}, "eth0", "10.0.0.7"},

      {{}, "eth0", "127.0.0.1"},
  };
  for (const auto& [interfaces, route, address] : cases)
    EXPECT_EQ(unix_address::ChooseAddress(interfaces, route), address) << route;
  EXPECT_EQ(unix_address::DefaultRouteInterface(
                "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
                "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\n"
                "wlan0\t00000000\t0100000A\t0002\t0\t0\t600\t00000000\n"  // not up
                "broken line\n"
                "bad0\t00000000\t0\t1zz\t0\t0\t0\t00000000\n"
                "ppp0\t00000000\t00000000\t0003\t0\t0\t0\t00000000\n"),
            "ppp0");
}

}  // namespace
