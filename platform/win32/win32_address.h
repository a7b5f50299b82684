// The computer's address through Winsock, as the main window's Winsock
// control read it.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "platform/address.h"

namespace win32 {

class WinsockAddress : public platform::AddressSource {
 public:
  WinsockAddress();
  ~WinsockAddress() override;
  WinsockAddress(const WinsockAddress&) = delete;
  WinsockAddress& operator=(const WinsockAddress&) = delete;

  // The first IPv4 address the computer's host name resolves to.
  std::string LocalIP() override;

 private:
  bool started_ = false;
};

// The first IPv4 address in a resolver's answer, dotted; empty when none.
std::string FirstIPv4(const addrinfo* answers);

}  // namespace win32
