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

// The named connections of a successful listing only, in listed order; a
// fresh buffer of 256 records each time, sized in its first record, count 0.
TEST(HangUpConnections, HangsUpTheNamedConnectionsOfASuccessfulListingOnly) {
  struct Case {
    std::vector<fake::RasConnection> connections;
    std::optional<std::uint32_t> enumError;  // the double writes the records all the same
    std::vector<HRASCONN> hungUp;
  };
  const std::vector<fake::RasConnection> two = {{Handle(1), "Modem"}, {Handle(2), "ISDN"}};
  std::vector<fake::RasConnection> many;
  std::vector<HRASCONN> all;
  for (std::uintptr_t i = 1; i <= 257; ++i) many.push_back({Handle(i), "Veza"});
  for (std::uintptr_t i = 1; i <= 256; ++i) all.push_back(Handle(i));
  std::vector<Case> cases = {
      {{{Handle(7), "Modem"},
        {Handle(3), std::string("\0Hidden", 7)},
        {Handle(9), "Druga"},
        {Handle(4), ""}},
       {},
       {Handle(7), Handle(9)}},
      {two, 603u, {}},
      {two, 668u, {}},
      {two, 632u, {}},
      {two, 87u, {}},
      {two, 0xFFFFFFFFu, {}},
      {many, {}, {}},  // 257 do not fit: the service writes 256 and a count of 257
  };
  many.pop_back();
  cases.push_back({many, {}, all});
  for (const Case& c : cases) {
    fake::Ras() = {};
    fake::Ras().connections = c.connections;
    fake::Ras().enumError = c.enumError;
    Module1::HangUpConnections();
    const std::vector<std::uint32_t> handed = {sizeof(Module1::RASCONNA),
                                               256 * sizeof(Module1::RASCONNA), 0};
    EXPECT_EQ(fake::Ras().enumerations, std::vector<std::vector<std::uint32_t>>{handed})
        << c.connections.size();
    EXPECT_EQ(fake::Ras().hangUps, c.hungUp) << c.connections.size();
  }
}

}  // namespace
