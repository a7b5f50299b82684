// The computer's address as Winsock reads it.
#include <gtest/gtest.h>

#include <algorithm>
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
  addrinfo c = {0, AF_INET, 0, 0, sizeof second, nullptr, (sockaddr*)&second, nullptr};
  addrinfo b = {0, AF_INET, 0, 0, sizeof first, nullptr, (sockaddr*)&first, &c};
  addrinfo a = {0, AF_INET6, 0, 0, sizeof v6, nullptr, (sockaddr*)&v6, &b};
  EXPECT_EQ(win32::FirstIPv4(&a), "10.1.2.3");
  EXPECT_EQ(win32::FirstIPv4(&c), "192.0.2.1");
  a.ai_next = nullptr;
  EXPECT_EQ(win32::FirstIPv4(&a), "");
  EXPECT_EQ(win32::FirstIPv4(nullptr), "");
}

TEST(WinsockAddress, ReadsADottedIPv4Address) {
  const std::string address = win32::WinsockAddress().LocalIP();
  unsigned p[4];
  char tail;
  ASSERT_EQ(std::sscanf(address.c_str(), "%u.%u.%u.%u%c", &p[0], &p[1], &p[2], &p[3], &tail), 4)
      << address;
  EXPECT_LE(std::max({p[0], p[1], p[2], p[3]}), 255u) << address;
}

}  // namespace
