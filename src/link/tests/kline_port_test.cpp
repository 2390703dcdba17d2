#include "link/kline_port.h"

#include <gtest/gtest.h>

#include "link/testing/scripted_line.h"

namespace kline {
namespace {

using testing::Arrival;

class KLinePortTest : public ::testing::Test {
 protected:
  VirtualClock clock_{1'000'000};
  testing::ScriptedLine line_{clock_};
  KLinePort port_{line_, clock_};
};

TEST_F(KLinePortTest, OpenSetsModemLinesAndStartSettings) {
  port_.Open("3");
  ASSERT_TRUE(port_.IsOpen());
#ifndef _WIN32
  EXPECT_EQ(line_.opened_path(), "/dev/ttyS2");
#endif
  EXPECT_TRUE(line_.Dtr());
  EXPECT_TRUE(line_.Rts());
  EXPECT_EQ(line_.settings(), (LineSettings{1200, 8, Parity::kNone, 1}));
  EXPECT_TRUE(port_.OpenProblem().empty());
}

TEST_F(KLinePortTest, NamesThatAreNoPortAreRefusedBeforeOpening) {
  for (const char* field : {"0", "-1", "256", "70000", "abc", "", "0.4", "COM"}) {
    port_.Open(field);
    EXPECT_FALSE(port_.IsOpen()) << field;
    EXPECT_TRUE(line_.opened_path().empty()) << field;
    EXPECT_FALSE(port_.OpenProblem().empty()) << field;
  }
}

TEST_F(KLinePortTest, FailedOpenIsSilentAndExplained) {
  line_.open_fails = true;
  port_.Open("/dev/ttyUSB7");
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_EQ(line_.opened_path(), "/dev/ttyUSB7");
  EXPECT_NE(port_.OpenProblem().find("/dev/ttyUSB7"), std::string::npos);
}

// A failed switch is recorded, never raised, and keeps the old rate.
TEST(SetBaudRate, ChangesOnlyTheRateOrRecordsWhyNot) {
  struct Case {
    bool open, readable, writable;
    int number;
    int32_t baud;
  };
  const Case cases[] = {
      {true, true, true, 0, 7812},
      {false, true, true, 8018, 1200},
      {true, false, true, 8021, 1200},
      {true, true, false, 8015, 1200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    VirtualClock clock;
    testing::ScriptedLine line(clock);
    KLinePort port(line, clock);
    if (c.open) port.Open("1");
    line.settings_unreadable = !c.readable;
    line.settings_unwritable = !c.writable;
    port.SetBaudRate(kWorkingBaud);
    EXPECT_EQ(port.LastError().number, c.number);
    EXPECT_EQ(line.settings(), (LineSettings{c.baud, 8, Parity::kNone, 1}));
  }
}

TEST_F(KLinePortTest, ExchangeAppliesTheEchoRule) {
  struct Case {
    const char* name;
    std::vector<Arrival> reply;
    bool check_echo;
    bool timed_out;
    const char* reply_hex;
    const char* answer;
  };
  const Case cases[] = {
      {"valid", {{9, {0x0F}}, {18, {0x80}}}, true, false, "0F80", "80"},
      {"a byte before the echo is not the answer",
       {{9, {0x80}}, {18, {0x0F}}, {27, {0x42}}},
       true,
       false,
       "0F42",
       "42"},
      {"garbled echo", {{9, {0x8F}}, {18, {0x80}}}, true, false, "8F80", ""},
      {"unchecked takes byte two", {{9, {0x8F}}, {18, {0x80}}}, false, false, "8F80", "80"},
      {"silent", {}, true, true, "", ""},
      {"echo only", {{9, {0x0F}}}, true, true, "", ""},
  };
  port_.Open("1");
  for (const Case& c : cases) {
    line_.Answer(0x0F, c.reply);
    const ExchangeResult result = port_.ExchangeByte(
        {.request = 0x0F, .count = 2, .limit_ms = 2000, .check_echo = c.check_echo});
    EXPECT_EQ(result.timed_out, c.timed_out) << c.name;
    EXPECT_EQ(result.reply_hex, c.reply_hex) << c.name;
    EXPECT_EQ(result.answer, c.answer) << c.name;
  }
}

// A request keeps its pause after the last byte on the line, whoever sent it: a byte that
// comes during the pause starts it again (long enough to outlast a byte at the slow rate),
// and a line that never falls quiet is not talked into.
TEST_F(KLinePortTest, ARequestWaitsForAQuietLine) {
  struct Case {
    const char* name;
    std::vector<Arrival> after_first;  // echo, answer, and whatever follows
    bool sent;
    int64_t min_ms, max_ms;  // from the call to the write
  };
  std::vector<Arrival> chatter = {{2, {0x01}}, {4, {0x20}}};
  for (int ms = 9; ms < 2000; ms += 5) chatter.push_back({ms, {0x00}});
  const Case cases[] = {
      {"quiet", {{2, {0x01}}, {4, {0x20}}}, true, 8, 8},
      // The answer is read at the 6 ms poll, the trailing byte seen at the latest when the
      // first 8 ms are over.
      {"a trailing byte 5 ms after the answer", {{2, {0x01}}, {4, {0x20}}, {9, {0x00}}}, true,
       3 + 9, 8 + 10},
      {"a line that never falls quiet", chatter, false, 1000, 1010},
  };
  port_.Open("1");
  port_.SetBaudRate(kWorkingBaud);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    line_.Script(0x01, c.after_first);
    ASSERT_TRUE(port_.SendRequest(0x01, 0, 2000));
    ASSERT_TRUE(port_.WaitForCountTimed(2, 2000, PollPause::k3ms, 0x01));
    EXPECT_EQ(KLinePort::ToReplyHex(port_.ReadAll()), "0120");
    const size_t written = line_.written().size();
    const int64_t start = clock_.NowMs();
    EXPECT_EQ(port_.SendRequest(0x02, 8, 2000), c.sent);
    EXPECT_GE(clock_.NowMs() - start, c.min_ms);
    EXPECT_LE(clock_.NowMs() - start, c.max_ms);
    EXPECT_EQ(line_.written().size(), written + (c.sent ? 1 : 0));
    clock_.SleepMs(3000);
    port_.Flush();
  }
}

TEST_F(KLinePortTest, ExchangeFlushesLeftoversAndPausesFirst) {
  line_.Answer(0x01, {{1, {0x99}}});
  line_.Answer(0x05, {{9, {0x05}}, {18, {0x19}}});
  port_.Open("1");
  port_.WriteByte(0x01);
  clock_.SleepMs(5);  // a stale byte is waiting
  const int64_t before = clock_.NowMs();
  const ExchangeResult result = port_.ExchangeByte({.request = 0x05, .pause_first_ms = 8});
  EXPECT_EQ(result.reply_hex, "0519");
  EXPECT_GE(clock_.NowMs() - before, 8 + 18);
  EXPECT_LE(clock_.NowMs() - before, 8 + 18 + 3) << "done as soon as the reply is there";
}

TEST_F(KLinePortTest, WaitTimesOutWithinOnePausePastTheBoundAndNeverBefore) {
  struct Case {
    int64_t limit;
    PollPause pause;
    int64_t pause_ms;
  };
  port_.Open("1");
  for (const Case& c :
       {Case{2000, PollPause::k3ms, 3}, Case{3000, PollPause::k3msThen1ms, 4},
        Case{5000, PollPause::k1msAround3, 4}, Case{2500, PollPause::k3msThen1ms, 4}}) {
    const int64_t start = clock_.NowMs();
    EXPECT_FALSE(port_.WaitForCountTimed(2, c.limit, c.pause));
    const int64_t waited = clock_.NowMs() - start;
    EXPECT_GT(waited, c.limit);
    EXPECT_LE(waited, c.limit + c.pause_ms);
  }
}

}  // namespace
}  // namespace kline
