#include "platform/win32/win32_address.h"

namespace win32 {

namespace {
constexpr const char* kLoopback = "127.0.0.1";
}  // namespace

WinsockAddress::WinsockAddress() {
  WSADATA data;
  started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockAddress::~WinsockAddress() {
  if (started_) WSACleanup();
}

std::string FirstIPv4(const addrinfo* answers) {
  for (const addrinfo* a = answers; a; a = a->ai_next) {
    if (a->ai_family != AF_INET || !a->ai_addr || a->ai_addrlen < sizeof(sockaddr_in)) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&in->sin_addr);
    return std::to_string(b[0]) + '.' + std::to_string(b[1]) + '.' + std::to_string(b[2]) + '.' +
           std::to_string(b[3]);
  }
  return "";
}

std::string WinsockAddress::LocalIP() {
  if (!started_) return kLoopback;
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return kLoopback;
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  addrinfo* answers = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &answers) != 0) return kLoopback;
  std::string address = FirstIPv4(answers);
  freeaddrinfo(answers);
  return address.empty() ? kLoopback : address;
}

}  // namespace win32
