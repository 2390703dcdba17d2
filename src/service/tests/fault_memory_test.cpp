#include "service/fault_memory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "fake_windows.h"

namespace kline {
namespace {

using testing::Arrival;
using ::testing::ElementsAre;

const FaultButton& Button(std::string_view caption) {
  return *std::find_if(kFaultButtons.begin(), kFaultButtons.end(),
                       [&](const FaultButton& b) { return b.caption == caption; });
}

// Presses one button against a reply script; gives the log.
std::vector<std::string> Press(testing::Bench& bench, std::string_view caption,
                               std::vector<Arrival> reply) {
  FaultMemory memory(bench.port, bench.host);
  bench.line.Script(Button(caption).request, std::move(reply));
  memory.Press(Button(caption));
  return bench.host.lines;
}

// The reply 0x40 shows which table and rule a button uses: a set-bit table names its second
// row alone, a pair table gives eight lines with the second row's set text.
TEST(FaultMemoryTest, EachButtonSendsItsRequestAndUsesItsTable) {
  struct Case {
    std::string caption;
    uint8_t request;
    size_t count;
    std::string second_row;
  };
  const Case cases[] = {
      {"Uniram1", 0x0F, 1, "Mixure ratio at limit range"},
      {"Uniram2", 0x10, 1, "Signal panel sequence"},
      {"Uniram3", 0x11, 8, "Air temp sensor s.c"},
      {"Unirams", 0x15, 8, "No decrease in advance for detonation"},
      {"Cuneep1", 0x16, 1, "Mixure ratio at limit range"},
      {"Cuneep2", 0x17, 1, "Signal panel sequence"},
      {"Cuneep3", 0x18, 8, "Air temp sensor s.c"},
      {"Unieep1A", 0x1D, 1, "Mixure ratio at limit range"},
      {"Unieep2A", 0x1E, 1, "Signal panel sequence"},
      {"Unieep3A", 0x1F, 8, "Air temp sensor s.c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    testing::Bench bench;
    const std::vector<std::string> lines =
        Press(bench, c.caption, {Arrival{10, {c.request, 0x40}}});
    EXPECT_THAT(bench.line.written(), ElementsAre(c.request));
    ASSERT_EQ(lines.size(), c.count);
    EXPECT_EQ(lines[c.count == 1 ? 0 : 1], c.second_row);
    EXPECT_EQ(bench.host.caret_moves, 1);
  }
}

// The close box gives the port back only while the main window is hidden; "Back" leaves
// this window open.
TEST(FaultMemoryTest, BackAndCloseBoxHandThePortBack) {
  testing::Bench bench;
  FaultMemory memory(bench.port, bench.host);
  memory.OnCloseBox();
  memory.OnCloseBox();  // main window visible again: nothing left to do
  EXPECT_THAT(bench.host.timer_calls, ElementsAre(20));
  memory.Back();
  EXPECT_THAT(bench.host.timer_calls, ElementsAre(20, 20));
  EXPECT_EQ(bench.host.shows, 2);
  EXPECT_EQ(bench.host.closes, 0);
}

}  // namespace
}  // namespace kline
