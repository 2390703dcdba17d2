// The tool's aligned text: a person reads the columns down, so the decimal points line up.
#include "cli/cli_format.h"

#include <gtest/gtest.h>

namespace kline::cli {
namespace {

TEST(CliFormatTest, LiveColumnsLineUpTheirDecimalPoints) {
  ChannelSet channels{};
  channels[1] = true;  // injection_ms
  channels[7] = true;  // battery_v
  const std::string head = LiveHeadLine(channels);
  const size_t ends[] = {head.find("injection_ms") + 12, head.find("battery_v") + 9};
  const std::pair<std::optional<double>, std::optional<double>> rows[] = {
      {3.5, 12.75}, {0.438, 14.1875}, {10, std::nullopt}, {2.25, 9}};
  for (const auto& [injection, battery] : rows) {
    LiveSample sample;
    sample.values[1] = injection;
    sample.values[7] = battery;
    const std::string line = LiveLine(sample, 0, channels);
    SCOPED_TRACE(line);
    ASSERT_EQ(line.size(), head.size());
    // Three places for decimals after the point; a whole number or "-" stops before it.
    for (size_t end : ends) {
      const char at_point = line[end - 4];
      EXPECT_TRUE(at_point == '.' || (at_point == ' ' && line[end - 5] != ' ')) << end;
    }
  }
}

}  // namespace
}  // namespace kline::cli
