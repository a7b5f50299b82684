// The address IP Adresa shows on Windows (platform/win32/win32_address.cpp): the first IPv4 answer
// of the resolver for the computer's name, dotted. An IPv6 answer first, as Windows gives on
// machines with both, must not make it show nothing.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32_address.h"

namespace {

// An IPv6 answer, then 10.1.2.3, then 192.0.2.1.
class FirstIPv4 : public ::testing::Test {
 protected:
  FirstIPv4() {
    v6.sin6_family = AF_INET6;
    first.sin_family = second.sin_family = AF_INET;
    first.sin_addr.s_addr = htonl(0x0A010203);   // 10.1.2.3
    second.sin_addr.s_addr = htonl(0xC0000201);  // 192.0.2.1
  }
  sockaddr_in6 v6 = {};
  sockaddr_in first = {}, second = {};
  addrinfo last = {0, AF_INET, 0, 0, sizeof second, nullptr, (sockaddr*)&second, nullptr};
  addrinfo middle = {0, AF_INET, 0, 0, sizeof first, nullptr, (sockaddr*)&first, &last};
  addrinfo answers = {0, AF_INET6, 0, 0, sizeof v6, nullptr, (sockaddr*)&v6, &middle};
};

// (An answer of IPv6 only goes: an answer of any family taken fails this one.)
TEST_F(FirstIPv4, IsTheFirstIPv4AfterAnIPv6Answer) {
  EXPECT_EQ(win32::FirstIPv4(&answers), "10.1.2.3");
}

TEST_F(FirstIPv4, IsTheOnlyAnswersAddress) { EXPECT_EQ(win32::FirstIPv4(&last), "192.0.2.1"); }

TEST_F(FirstIPv4, IsEmptyForNoAnswer) { EXPECT_EQ(win32::FirstIPv4(nullptr), ""); }

// Whatever this machine's name resolves to (the loopback when nothing): Winsock's own writing of
// the parsed address is the same text, so a host name or a trailing character fails here.
TEST(WinsockAddress, IsADottedAddressAsWinsockWritesIt) {
  const std::string address = win32::WinsockAddress().LocalIP();
  in_addr parsed = {};
  parsed.s_addr = inet_addr(address.c_str());
  EXPECT_EQ(inet_ntoa(parsed), address);
}

}  // namespace
