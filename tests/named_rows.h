// Tables of named rows for GoogleTest's TEST_P: each row struct has a `name` field, spelled as a
// test name (letters, digits and underscores), which names its test in the output and in CTest.
// A failure then says which row failed, and each check prints its expected and actual value.
#pragma once

#include <gtest/gtest.h>

#include <concepts>
#include <ostream>
#include <string>

namespace named_rows {

// INSTANTIATE_TEST_SUITE_P(..., ::testing::ValuesIn(kRows), named_rows::ByName());
struct ByName {
  template <typename Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
    return std::string(info.param.name);
  }
};

// A row in GoogleTest's messages ("GetParam() = ...") by its name, not by its bytes. GoogleTest
// finds it by argument-dependent lookup: `using named_rows::PrintTo;` in the rows' namespace.
template <typename Row>
requires std::convertible_to<decltype(Row::name), const char*>
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

}  // namespace named_rows
