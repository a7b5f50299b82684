// The hang-up routine against a Remote Access Service double.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dialup/module1.h"
#include "platform/fake/fake_ras.h"

namespace {

using fake::Handle;
using Module1::HRASCONN;

std::vector<fake::RasConnection> Numbered(std::uintptr_t n, const std::string& name = "Veza") {
  std::vector<fake::RasConnection> connections;
  for (std::uintptr_t i = 1; i <= n; ++i) connections.push_back({Handle(i), name});
  return connections;
}

std::vector<HRASCONN> Handles(std::uintptr_t n) {
  std::vector<HRASCONN> handles;
  for (std::uintptr_t i = 1; i <= n; ++i) handles.push_back(Handle(i));
  return handles;
}

TEST(HangUpConnections, HangsUpTheNamedConnectionsOfASuccessfulListingOnly) {
  struct Case {
    const char* what;
    std::vector<fake::RasConnection> connections;
    std::optional<std::uint32_t> enumError;  // the double writes the records all the same
    std::vector<HRASCONN> hungUp;
  };
  const std::vector<fake::RasConnection> two = {{Handle(1), "Modem"}, {Handle(2), "ISDN"}};
  // Names of 256 bytes and a zero, and of 257 bytes and no zero, followed by
  // non-zero bytes to the end of their records; the last fills the last
  // record of the buffer, so a read past its field runs off the buffer's end
  // (which the sanitizer build reports).
  std::vector<fake::RasConnection> longNames = Numbered(253, "");
  longNames.push_back({Handle(254), std::string(256, 'x')});
  longNames.push_back({Handle(255), std::string(1, '\0') + std::string(256, 'y')});
  longNames.push_back({Handle(256), std::string(257, 'z')});
  const std::vector<Case> cases = {
      {"named ones in listed order; empty names stay up",
       {{Handle(7), "Modem"},
        {Handle(3), std::string("\0Hidden", 7)},
        {Handle(9), "Druga linija"},
        {Handle(4), ""}},
       {},
       {Handle(7), Handle(9)}},
      {"buffer too small", two, 603u, {}},
      {"no connection", two, 668u, {}},
      {"invalid size", two, 632u, {}},
      {"invalid parameter", two, 87u, {}},
      {"an unknown code", two, 0xFFFFFFFFu, {}},
      {"256 fit the buffer", Numbered(256), {}, Handles(256)},
      {"257 do not: the service writes 256 and a count of 257", Numbered(257), {}, {}},
      {"names that fill their field", longNames, {}, {Handle(254), Handle(256)}},
  };
  for (const Case& c : cases) {
    fake::Ras() = {};
    fake::Ras().connections = c.connections;
    fake::Ras().enumError = c.enumError;
    Module1::HangUpConnections();
    const fake::RasService& ras = fake::Ras();
    // A fresh buffer of 256 records, sized in its first record, count 0.
    EXPECT_EQ(ras.enumerations, 1) << c.what;
    EXPECT_EQ(ras.lastRecordSize, sizeof(Module1::RASCONNA)) << c.what;
    EXPECT_EQ(ras.lastBufferBytes, 256 * sizeof(Module1::RASCONNA)) << c.what;
    EXPECT_EQ(ras.lastCountIn, 0u) << c.what;
    EXPECT_EQ(ras.hangUps, c.hungUp) << c.what;
  }
}

TEST(HangUpConnections, RepeatedCallsAskAgainForWhatIsStillListed) {
  fake::Ras() = {};
  fake::Ras().connections = {{Handle(1), "Tvrdoglava", /*closesOnHangUp=*/false},
                             {Handle(2), "Modem"}};
  for (int i = 0; i < 3; ++i) Module1::HangUpConnections();
  EXPECT_EQ(fake::Ras().enumerations, 3);
  EXPECT_EQ(fake::Ras().hangUps, (std::vector{Handle(1), Handle(2), Handle(1), Handle(1)}));
}

}  // namespace
