// The computer's IPv4 address on Linux and other Unix systems.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/address.h"

namespace unix_address {

struct InterfaceAddress {
  std::string interface;
  std::string address;  // dotted IPv4
  bool up = false;
  bool loopback = false;
  bool pointToPoint = false;  // a dial-up (ppp) link
};

// The address a user means by "my IP address": that of an up dial-up link,
// else that of the interface carrying the default route, else the first
// other address that is not loopback, else 127.0.0.1.
std::string ChooseAddress(const std::vector<InterfaceAddress>& addresses,
                          std::string_view defaultRouteInterface);

// The interface of the first default route in a /proc/net/route table, or "".
std::string DefaultRouteInterface(std::string_view routeTable);

class AddressSource : public platform::AddressSource {
 public:
  std::string LocalIP() override;
};

}  // namespace unix_address
