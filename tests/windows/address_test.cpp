// The computer's address as Winsock reads it.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/win32/win32_address.h"

namespace {

TEST(FirstIPv4, SkipsOtherFamiliesAndTakesTheFirstIPv4Answer) {
  sockaddr_in6 v6 = {};
  v6.sin6_family = AF_INET6;
  sockaddr_in first = {}, second = {};
  first.sin_family = second.sin_family = AF_INET;
  first.sin_addr.s_addr = htonl(0x0A010203);   // 10.1.2.3
  second.sin_addr.s_addr = htonl(0xC0000201);  // 192.0.2.1
  addrinfo c = {0,      AF_INET, 0, 0, sizeof second, nullptr, reinterpret_cast<sockaddr*>(&second),
                nullptr};
  addrinfo b = {0, AF_INET, 0, 0, sizeof first, nullptr, reinterpret_cast<sockaddr*>(&first), &c};
  addrinfo a = {0, AF_INET6, 0, 0, sizeof v6, nullptr, reinterpret_cast<sockaddr*>(&v6), &b};
  EXPECT_EQ(win32::FirstIPv4(&a), "10.1.2.3");
  EXPECT_EQ(win32::FirstIPv4(&c), "192.0.2.1");
  a.ai_next = nullptr;
  EXPECT_EQ(win32::FirstIPv4(&a), "");
  EXPECT_EQ(win32::FirstIPv4(nullptr), "");
}

TEST(WinsockAddress, ReadsADottedIPv4Address) {
  win32::WinsockAddress winsock;
  const std::string address = winsock.LocalIP();
  unsigned parts[4];
  char tail;
  ASSERT_EQ(std::sscanf(address.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2],
                        &parts[3], &tail),
            4)
      << address;
  for (unsigned p : parts) EXPECT_LE(p, 255u) << address;
}

}  // namespace
