#include "service/fault_texts.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kline {
namespace {

std::vector<std::string> Lines(FaultTable table, std::string_view bits) {
  const std::vector<std::string_view> lines = DecodeFaultBits(table, bits);
  return {lines.begin(), lines.end()};
}

// The log's lines for a few answers, with the texts as the window has always shown them.
TEST(FaultTextsTest, EachRuleGivesItsLines) {
  struct Case {
    FaultTable table;
    std::string_view hex;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {FaultTable::kFaultByte1,
       "81",
       {"VAE blocked open or closed", "throttle valve position sensor"}},
      {FaultTable::kFaultByte2, "40", {"Signal panel sequence"}},
      {FaultTable::kFaultByte2, "00", {}},
      // More than one data byte: only the first counts.
      {FaultTable::kFaultByte1, "80FF", {"VAE blocked open or closed"}},
      // Too short: the missing bits count as clear.
      {FaultTable::kFaultByte1, "1", {"Knock"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Lines(c.table, HexToBits(c.hex)), c.lines) << c.hex;

  // The every-bit rule gives eight lines whatever the value, even for no answer at all.
  for (std::string_view hex : {"00", "FF", "08", ""}) {
    EXPECT_EQ(Lines(FaultTable::kFaultByte3, HexToBits(hex)).size(), 8u) << hex;
  }
  EXPECT_EQ(Lines(FaultTable::kFaultByte3, HexToBits("00")).front(), "Maximun enrichment");
  EXPECT_EQ(Lines(FaultTable::kFaultByte3, HexToBits("00")).back(), "Pressure sensor o.c");
  EXPECT_EQ(Lines(FaultTable::kFaultByte3, HexToBits("FF")).front(), "Maximun leaning down");
  EXPECT_EQ(Lines(FaultTable::kFaultByte3, HexToBits("FF")).back(), "Pressure sensor s.c");
  EXPECT_EQ(Lines(FaultTable::kStatusByte, HexToBits("08"))[4], "ABS active");
}

// Over every byte value of every table, the view agrees with the value bit by bit and with the
// log line by line: the log keeps its texts, the view adds the marks.
TEST(FaultTextsTest, ViewAgreesWithTheValueAndTheLog) {
  for (FaultTable table : {FaultTable::kFaultByte1, FaultTable::kFaultByte2,
                           FaultTable::kFaultByte3, FaultTable::kStatusByte}) {
    for (int value = 0; value < 256; ++value) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", value);
      const FaultByteView view = ViewFaultByte(table, hex);
      ASSERT_EQ(view.value, value) << hex;
      std::vector<std::string> shown;
      int set = 0;
      for (int row = 0; row < kFaultRows; ++row) {
        const FaultBit& bit = view.bits[row];
        EXPECT_EQ(bit.bit, 7 - row);
        EXPECT_EQ(bit.set, ((value >> bit.bit) & 1) != 0) << hex;
        set += bit.set ? 1 : 0;
        if (bit.set || !view.set_bit_names_fault) shown.emplace_back(bit.text);
      }
      EXPECT_EQ(shown, Lines(table, HexToBits(hex))) << hex;
      EXPECT_EQ(view.FaultCount(), view.set_bit_names_fault ? set : 0) << hex;
    }
  }
}

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
