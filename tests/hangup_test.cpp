// The hang-up routine against a Remote Access Service double.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "dialup/module1.h"
#include "platform/fake/fake_ras.h"
#include "platform/ras.h"

namespace {

using fake::Handle;

class HangUpConnections : public ::testing::Test {
 protected:
  void SetUp() override { fake::Ras() = {}; }
  fake::RasService& ras = fake::Ras();
};

TEST_F(HangUpConnections, HandsTheServiceAFreshBufferOf256Records) {
  Module1::HangUpConnections();
  EXPECT_EQ(ras.lastRecordSize, sizeof(Module1::RASCONNA));
  EXPECT_EQ(ras.lastBufferBytes, 256 * sizeof(Module1::RASCONNA));
  EXPECT_EQ(ras.lastCountIn, 0u);
#if !defined(_WIN64)
  EXPECT_EQ(ras.lastBufferBytes, 105472u);
#endif
  EXPECT_TRUE(ras.hangUps.empty());
}

TEST_F(HangUpConnections, HangsUpNamedConnectionsInListedOrderAndLeavesEmptyNames) {
  ras.connections = {{Handle(7), "Modem"},
                     {Handle(3), std::string("\0Hidden", 7)},
                     {Handle(9), "Druga linija"},
                     {Handle(4), ""}};
  Module1::HangUpConnections();
  EXPECT_EQ(ras.hangUps, (std::vector{Handle(7), Handle(9)}));
  ASSERT_EQ(ras.connections.size(), 2u);  // the two unnamed ones stay up
}

TEST_F(HangUpConnections, TouchesNothingWhenTheEnumerationFails) {
  // The double fills the buffer and the count before it answers the error.
  for (std::uint32_t error : {603u, 668u, 632u, 87u, 1u, 0xFFFFFFFFu}) {
    fake::Ras() = {};
    ras.connections = {{Handle(1), "Modem"}, {Handle(2), "ISDN"}};
    ras.enumError = error;
    Module1::HangUpConnections();
    EXPECT_EQ(ras.enumerations, 1);
    EXPECT_TRUE(ras.hangUps.empty()) << error;
  }
}

TEST_F(HangUpConnections, HangsUpAll256ThatFitButNoneOfMoreThanFit) {
  for (std::uintptr_t i = 1; i <= 256; ++i) ras.connections.push_back({Handle(i), "Veza"});
  Module1::HangUpConnections();
  ASSERT_EQ(ras.hangUps.size(), 256u);
  EXPECT_EQ(ras.hangUps.front(), Handle(1));
  EXPECT_EQ(ras.hangUps.back(), Handle(256));

  fake::Ras() = {};
  for (std::uintptr_t i = 1; i <= 257; ++i) ras.connections.push_back({Handle(i), "Veza"});
  // The service writes the 256 that fit and a count of 257, and answers
  // "buffer too small".
  Module1::HangUpConnections();
  EXPECT_TRUE(ras.hangUps.empty());
}

TEST_F(HangUpConnections, RepeatedCallsAskAgainForWhatIsStillListed) {
  ras.connections = {{Handle(1), "Tvrdoglava", /*closesOnHangUp=*/false}, {Handle(2), "Modem"}};
  Module1::HangUpConnections();
  Module1::HangUpConnections();
  Module1::HangUpConnections();
  EXPECT_EQ(ras.enumerations, 3);
  EXPECT_EQ(ras.hangUps, (std::vector{Handle(1), Handle(2), Handle(1), Handle(1)}));
}

TEST_F(HangUpConnections, ReadsNoFurtherThanTheNameFieldOfNamesOf256And257Bytes) {
  // Names of 256 bytes and a zero, and of 257 bytes and no zero, followed by
  // non-zero bytes to the end of their records; the last fills the last
  // record of the buffer, so a read past its field runs off the buffer's end
  // (which the sanitizer build reports).
  for (std::uintptr_t i = 1; i <= 253; ++i) ras.connections.push_back({Handle(i), ""});
  ras.connections.push_back({Handle(254), std::string(256, 'x')});
  ras.connections.push_back({Handle(255), std::string(1, '\0') + std::string(256, 'y')});
  ras.connections.push_back({Handle(256), std::string(257, 'z')});
  Module1::HangUpConnections();
  EXPECT_EQ(ras.hangUps, (std::vector{Handle(254), Handle(256)}));
}

}  // namespace
