#include "link/numbers.h"

#include <gtest/gtest.h>

#include "link/port_name.h"

namespace kline {
namespace {

TEST(LeadingNumber, TakesTheLeadingNumericPart) {
  const std::pair<const char*, double> cases[] = {
      {"3", 3},   {"04", 4},  {"3.5", 3.5},    {"3.5abc", 3.5}, {"abc", 0}, {"", 0},
      {"  7", 7}, {"-2", -2}, {".5", 0.5},     {"1e3", 1000},   {"1e", 1},  {"12x3", 12},
      {"+6", 6},  {"-", 0},   {"1e999999", 0}, {"1e400", 0},
  };
  for (const auto& [text, value] : cases) EXPECT_DOUBLE_EQ(LeadingNumber(text), value) << text;
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
  const std::pair<double, int64_t> cases[] = {
      {0.5, 0},   {1.5, 2},   {2.5, 2},   {3.5, 4},       {12.5, 12},
      {13.5, 14}, {12.6, 13}, {-2.5, -2}, {7812.5, 7812}, {1e300, 9200000000000000000}};
  for (const auto& [value, rounded] : cases) EXPECT_EQ(RoundHalfEven(value), rounded) << value;
}

TEST(PlainNumber, ShortestTextWithTheGivenSeparator) {
  const std::pair<double, const char*> cases[] = {
      {12.5, "12.5"},       {3, "3"},
      {2.468, "2.468"},     {-16, "-16"},
      {0.5, "0.5"},         {1250, "1250"},
      {15.9375, "15.9375"}, {-0.0, "0"},
      {30.006, "30.006"},   {1e20, "100000000000000000000"},
      {0.1 + 0.2, "0.3"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(PlainNumber(value), text) << value;
  EXPECT_EQ(PlainNumber(12.5, ','), "12,5");
}

TEST(TwoDecimals, NoLeadingZeroNoTrailingZerosSeparatorAlways) {
  const std::pair<double, const char*> cases[] = {
      {30.006, "30.01"}, {78.6, "78.6"}, {0.0684, ".07"}, {-1.41, "-1.41"}, {125, "125."},
      {-55, "-55."},     {0, "."},       {-0.001, "."},   {89.98, "89.98"}, {-0.5, "-.5"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(TwoDecimals(value), text) << value;
  EXPECT_EQ(TwoDecimals(30.006, ','), "30,01");
}

#ifndef _WIN32
TEST(PortPath, NumbersAndDevicePaths) {
  const std::pair<const char*, const char*> cases[] = {{"1", "/dev/ttyS0"},
                                                       {"04", "/dev/ttyS3"},
                                                       {"255", "/dev/ttyS254"},
                                                       {"2.5", "/dev/ttyS1"},
                                                       {"/dev/ttyUSB0", "/dev/ttyUSB0"},
                                                       {" /dev/pts/3 ", "/dev/pts/3"}};
  for (const auto& [field, path] : cases) EXPECT_EQ(PortPath(field), path) << field;
}
#endif

}  // namespace
}  // namespace kline
