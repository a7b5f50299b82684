// Which address IP Adresa shows on Linux (platform/unix/unix_address.cpp): the choice among the
// machine's interfaces, and the default route's interface as read from /proc/net/route. Made-up
// interfaces and route tables, so that each rule is seen whatever network this machine has; the
// Qt look test checks the shown address against the machine's own.
#include "platform/unix/unix_address.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/named_rows.h"

namespace {

using named_rows::PrintTo;

using unix_address::InterfaceAddress;

const InterfaceAddress lo{"lo", "127.0.0.1", true, true, false},
    eth{"eth0", "192.168.1.20", true, false, false}, wlan{"wlan0", "10.0.0.7", true, false, false},
    ppp{"ppp0", "100.64.3.9", true, false, true},
    pppDown{"ppp1", "100.64.3.10", false, false, true},
    ethDown{"eth0", "192.168.1.20", false, false, false};

struct Interfaces {
  const char* name;
  std::vector<InterfaceAddress> interfaces;
  const char* defaultRoute;  // the default route's interface
  const char* address;
};

// An up dial-up link first, then the default route's interface, then any up one, else loopback.
const Interfaces kChoices[] = {
    // name, interfaces, defaultRoute, address
    {"AnUpDialUpLink", {lo, eth, ppp}, "eth0", "100.64.3.9"},
    {"TheDefaultRoutes", {lo, eth, wlan}, "wlan0", "10.0.0.7"},
    {"TheFirstUpWithoutARoute", {lo, eth, wlan}, "", "192.168.1.20"},
    {"NoneThatIsDown", {pppDown, ethDown, wlan}, "eth0", "10.0.0.7"},
    {"LoopbackWhenNoneIsUp", {}, "eth0", "127.0.0.1"},
};

class AddressChoice : public ::testing::TestWithParam<Interfaces> {};

TEST_P(AddressChoice, TakesDialUpThenTheDefaultRouteThenAnyThenLoopback) {
  const Interfaces& c = GetParam();
  EXPECT_EQ(unix_address::ChooseAddress(c.interfaces, c.defaultRoute), c.address);
}

INSTANTIATE_TEST_SUITE_P(Interfaces, AddressChoice, ::testing::ValuesIn(kChoices),
                         named_rows::ByName());

// /proc/net/route with one line before the default route of ppp0; the default route is the first
// up line to 0.0.0.0/0, and a line that does not read as the kernel writes it is passed over.
// (A table with its heading only goes: no line of it can be read, so no fault changes its "".)
struct RouteLine {
  const char* name;
  const char* line;  // the line before ppp0's
};

const RouteLine kLinesPassedOver[] = {
    {"ANetworkRoute", "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\n"},
    {"ADefaultRouteThatIsNotUp", "wlan0\t00000000\t0100000A\t0002\t0\t0\t600\t00000000\n"},
    {"ABrokenLine", "broken line\n"},
    {"FlagsThatOnlyBeginAsHexadecimal", "bad0\t00000000\t0\t1zz\t0\t0\t0\t00000000\n"},
};

class DefaultRoute : public ::testing::TestWithParam<RouteLine> {};

TEST_P(DefaultRoute, IsTheFirstUpLineToAnyAddress) {
  const std::string table = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n" +
                            std::string(GetParam().line) +
                            "ppp0\t00000000\t00000000\t0003\t0\t0\t0\t00000000\n";
  EXPECT_EQ(unix_address::DefaultRouteInterface(table), "ppp0");
}

TEST(DefaultRoute, IsTheFirstOfTwo) {
  EXPECT_EQ(unix_address::DefaultRouteInterface(
                "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
                "ppp0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\n"
                "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\n"),
            "ppp0");
}

INSTANTIATE_TEST_SUITE_P(LinesPassedOver, DefaultRoute, ::testing::ValuesIn(kLinesPassedOver),
                         named_rows::ByName());

}  // namespace
