// The hang-up routine against a Remote Access Service double.
#include <gtest/gtest.h>

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
  ras.connections = {{Handle(1), "Modem"}};
  ras.enumError = 668;  // ERROR_NO_CONNECTION, say
  Module1::HangUpConnections();
  EXPECT_EQ(ras.enumerations, 1);
  EXPECT_TRUE(ras.hangUps.empty());
}

TEST_F(HangUpConnections, HangsUpAll256ThatFitButNoneOfMoreThanFit) {
  for (std::uintptr_t i = 1; i <= 256; ++i) ras.connections.push_back({Handle(i), "Veza"});
  Module1::HangUpConnections();
  ASSERT_EQ(ras.hangUps.size(), 256u);
  EXPECT_EQ(ras.hangUps.front(), Handle(1));
  EXPECT_EQ(ras.hangUps.back(), Handle(256));

  fake::Ras() = {};
  for (std::uintptr_t i = 1; i <= 257; ++i) ras.connections.push_back({Handle(i), "Veza"});
  Module1::HangUpConnections();  // the service answers "buffer too small"
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

TEST_F(HangUpConnections, ReadsNoFurtherThanTheNameFieldForAFullLengthName) {
  // A 256-character name fills the field up to its last byte, which stays zero.
  ras.connections = {{Handle(5), std::string(300, 'x')}};
  Module1::HangUpConnections();
  EXPECT_EQ(ras.hangUps, (std::vector{Handle(5)}));
}

}  // namespace
