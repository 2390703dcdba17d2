#include "service/fault_memory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_windows.h"

namespace kline {
namespace {

using testing::Arrival;
using ::testing::ElementsAre;

// Each button sends its own request and logs what its table's rule makes of the answer.
TEST(FaultMemoryTest, EachButtonSendsItsRequestAndUsesItsTable) {
  for (const FaultButton& button : kFaultButtons) {
    SCOPED_TRACE(button.caption);
    testing::Bench bench;
    bench.line.Script(button.request, {Arrival{10, {button.request, 0x40}}});
    FaultMemory(bench.port, bench.host).Press(button);
    const std::vector<std::string>& lines = bench.host.lines;
    EXPECT_THAT(bench.line.written(), ElementsAre(button.request));
    const std::vector<std::string_view> expected = DecodeFaultBits(button.table, "01000000");
    EXPECT_EQ(lines, std::vector<std::string>(expected.begin(), expected.end()));
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
