#include "service/fault_texts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace kline {
namespace {

using ::testing::ElementsAreArray;

std::vector<std::string> Lines(FaultTable table, std::string_view bits) {
  const std::vector<std::string_view> lines = DecodeFaultBits(table, bits);
  return {lines.begin(), lines.end()};
}

// Each table's texts from the most significant bit down: the set texts, and for the pair
// tables the clear texts. Typed from the user-visible catalogue, misspellings included.
struct TableCase {
  FaultTable table;
  std::vector<std::string> set;
  std::vector<std::string> clear;  // empty for the set-bit tables
};

const TableCase kTables[] = {
    {FaultTable::kFaultByte1,
     {"VAE blocked open or closed", "Mixure ratio at limit range", "Air temperature sensor",
      "Knock", "Water temperature", "Lamba sensor disconnected or faulty", "Pressure sensor",
      "throttle valve position sensor"},
     {}},
    {FaultTable::kFaultByte2,
     {"Cam sensor", "Signal panel sequence", "Eprom", "EEprom", "Neutral/drive signal",
      "Digimatic signal", "Ram memory", "Smot sensor"},
     {}},
    {FaultTable::kFaultByte3,
     {"Maximun leaning down", "Air temp sensor s.c", "Water temp sensor s.c",
      "Throttle valve potentiometer s.c", "Arrival of 6 Smot s.c", "Smot s.c", "Cam s.c",
      "Pressure sensor s.c"},
     {"Maximun enrichment", "Air temp sensor o.c", "Water temp sensor o.c",
      "Throttle valve potentiometer o.c", "Arrival of 6 Smot s.c", "Smot o.c", "Cam o.c",
      "Pressure sensor o.c"}},
    {FaultTable::kStatusByte,
     {"Power On,no digimatic gear change", "No decrease in advance for detonation",
      "Signal panel OK", "Throttle valve minimum or partial open", "ABS active",
      "Conditionner active", "Drive position", "Sel cleaning underway"},
     {"Power On,no digimatic gear change", "Decrease in advance for detonation",
      "Awaiting recognition of signal panel", "Partialised", "ABS not active",
      "Absence of conditioner command", "Neutral position", "VAE normal operation"}},
};

// What the table's rule should give for a byte whose set bits are the given rows.
std::vector<std::string> Expected(const TableCase& c, std::vector<int> set_rows) {
  std::vector<std::string> lines;
  for (int row = 0; row < kFaultRows; ++row) {
    const bool set = std::find(set_rows.begin(), set_rows.end(), row) != set_rows.end();
    if (set) {
      lines.push_back(c.set[row]);
    } else if (!c.clear.empty()) {
      lines.push_back(c.clear[row]);
    }
  }
  return lines;
}

class FaultTableTest : public ::testing::TestWithParam<TableCase> {};

// A byte with one bit set must name that bit's row: pins the row order to the masks along the
// whole path from reply digits to lines.
TEST_P(FaultTableTest, EachMaskSelectsItsRow) {
  for (int row = 0; row < kFaultRows; ++row) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", 0x80 >> row);
    EXPECT_THAT(Lines(GetParam().table, HexToBits(hex)),
                ElementsAreArray(Expected(GetParam(), {row})))
        << hex;
  }
}

TEST_P(FaultTableTest, RulesOnWholeBytesAndOddBitStrings) {
  const TableCase& c = GetParam();
  EXPECT_THAT(Lines(c.table, "00000000"), ElementsAreArray(Expected(c, {})));
  EXPECT_THAT(Lines(c.table, "11111111"), ElementsAreArray(Expected(c, {0, 1, 2, 3, 4, 5, 6, 7})));
  EXPECT_THAT(Lines(c.table, "10000001"), ElementsAreArray(Expected(c, {0, 7})));
  // No usable reply: nothing is set; a pair table still gives all its clear texts.
  EXPECT_THAT(Lines(c.table, ""), ElementsAreArray(Expected(c, {})));
  // More than one data byte: only the first eight characters count.
  EXPECT_THAT(Lines(c.table, "1000000111111111"), ElementsAreArray(Expected(c, {0, 7})));
  // Too short: the missing characters count as clear.
  EXPECT_THAT(Lines(c.table, "1"), ElementsAreArray(Expected(c, {0})));
}

INSTANTIATE_TEST_SUITE_P(AllTables, FaultTableTest, ::testing::ValuesIn(kTables));

TEST(HexToBitsTest, Conversions) {
  const std::pair<std::string, std::string> cases[] = {
      {"A5", "10100101"},
      {"a5", "10100101"},
      {"bC", "10111100"},
      {"0F", "00001111"},
      {"FF00", "1111111100000000"},
      {"0123456789abcdef", "0000000100100011010001010110011110001001101010111100110111101111"},
      {"", ""},
      // Not a digit: four clear bits, so the next digit keeps its place.
      {"g1", "00000001"},
  };
  for (const auto& [hex, bits] : cases) EXPECT_EQ(HexToBits(hex), bits) << hex;
}

}  // namespace
}  // namespace kline
