#include "platform/unix/unix_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <charconv>
#include <fstream>
#include <sstream>

namespace unix_address {

std::string ChooseAddress(const std::vector<InterfaceAddress>& addresses,
                          std::string_view defaultRouteInterface) {
  const InterfaceAddress* routed = nullptr;
  const InterfaceAddress* first = nullptr;
  for (const auto& a : addresses) {
    if (!a.up || a.loopback) continue;
    if (a.pointToPoint) return a.address;
    if (!routed && a.interface == defaultRouteInterface) routed = &a;
    if (!first) first = &a;
  }
  if (routed) return routed->address;
  if (first) return first->address;
  return "127.0.0.1";
}

std::string DefaultRouteInterface(std::string_view routeTable) {
  std::istringstream lines{std::string(routeTable)};
  std::string line;
  std::getline(lines, line);  // the heading
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string interface, destination, gateway, flags, refCount, use, metric, mask;
    if (!(fields >> interface >> destination >> gateway >> flags >> refCount >> use >> metric >>
          mask))
      continue;
    // A line that does not read as the kernel writes it is passed over.
    unsigned long flagBits = 0;
    const auto [end, error] =
        std::from_chars(flags.data(), flags.data() + flags.size(), flagBits, 16);
    if (error != std::errc() || end != flags.data() + flags.size()) continue;
    if (destination == "00000000" && mask == "00000000" && (flagBits & 0x1)) return interface;
  }
  return "";
}

std::string AddressSource::LocalIP() {
  std::vector<InterfaceAddress> addresses;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs* i = list; i; i = i->ifa_next) {
      if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
      char text[INET_ADDRSTRLEN] = {};
      const auto* in = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
      if (!inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) continue;
      addresses.push_back({i->ifa_name, text, (i->ifa_flags & IFF_UP) != 0,
                           (i->ifa_flags & IFF_LOOPBACK) != 0,
                           (i->ifa_flags & IFF_POINTOPOINT) != 0});
    }
    freeifaddrs(list);
  }
  std::ifstream routes("/proc/net/route");
  std::stringstream table;
  table << routes.rdbuf();
  return ChooseAddress(addresses, DefaultRouteInterface(table.str()));
}

}  // namespace unix_address
