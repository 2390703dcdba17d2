#include "link/kline_port.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>

namespace kline {
namespace {

// A port whose far side is a script: each written byte releases the bytes scripted for it,
// each at its own delay after the write.
class ScriptedDevice : public SerialDevice {
 public:
  explicit ScriptedDevice(Clock& clock) : clock_(clock) {}

  void Answer(uint8_t request, std::vector<std::pair<int64_t, uint8_t>> delayed_bytes) {
    script_[request] = std::move(delayed_bytes);
  }

  void SetDtr(bool on) override { dtr_ = on; }
  void SetRts(bool on) override { rts_ = on; }
  bool Dtr() const override { return dtr_; }
  bool Rts() const override { return rts_; }
  bool Open(const std::string& path, const LineSettings& settings) override {
    opened_path = path;
    if (!can_open) return false;
    open_ = true;
    settings_ = settings;
    return true;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  OpenFailure LastOpenFailure() const override { return OpenFailure::kNoSuchPort; }
  std::optional<LineSettings> ReadLineSettings() override {
    if (!readable) return std::nullopt;
    return settings_;
  }
  bool WriteLineSettings(const LineSettings& settings) override {
    if (!writable) return false;
    settings_ = settings;
    return true;
  }
  int PendingCount() override {
    int count = 0;
    for (const auto& [time, byte] : incoming_) count += time <= clock_.NowUs() ? 1 : 0;
    return count;
  }
  Bytes ReadAll() override {
    Bytes out;
    while (!incoming_.empty() && incoming_.front().first <= clock_.NowUs()) {
      out.push_back(incoming_.front().second);
      incoming_.pop_front();
    }
    return out;
  }
  bool WriteByte(uint8_t value) override {
    written.push_back(value);
    for (const auto& [delay_ms, byte] : script_[value]) {
      incoming_.emplace_back(clock_.NowUs() + delay_ms * 1000, byte);
    }
    return true;
  }
  bool LastEventWasReceive() override { return false; }
  bool WasLost() const override { return false; }

  bool can_open = true;
  bool readable = true;
  bool writable = true;
  std::string opened_path;
  Bytes written;
  const LineSettings& settings() const { return settings_; }

 private:
  Clock& clock_;
  bool open_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  LineSettings settings_;
  std::map<uint8_t, std::vector<std::pair<int64_t, uint8_t>>> script_;
  std::deque<std::pair<int64_t, uint8_t>> incoming_;
};

class KLinePortTest : public ::testing::Test {
 protected:
  VirtualClock clock_{1'000'000};
  ScriptedDevice device_{clock_};
  KLinePort port_{device_, clock_};
};

TEST(WorkingBaud, IsHalfToEvenOf7812Point5) { EXPECT_EQ(kWorkingBaud, 7812); }

TEST(ReplyHex, TwoUpperCaseDigitsPerByte) {
  EXPECT_EQ(KLinePort::ToReplyHex({0x00, 0x0A, 0xFF}), "000AFF");
  EXPECT_EQ(KLinePort::ToReplyHex({0x0F, 0x5A, 0x03}), "0F5A03");
  EXPECT_EQ(KLinePort::ToReplyHex({}), "");
}

TEST_F(KLinePortTest, OpenSetsModemLinesAndStartSettings) {
  port_.Open("3");
  ASSERT_TRUE(port_.IsOpen());
#ifndef _WIN32
  EXPECT_EQ(device_.opened_path, "/dev/ttyS2");
#endif
  EXPECT_TRUE(device_.Dtr());
  EXPECT_TRUE(device_.Rts());
  EXPECT_EQ(device_.settings(), (LineSettings{1200, 8, Parity::kNone, 1}));
  EXPECT_TRUE(port_.OpenProblem().empty());
}

TEST_F(KLinePortTest, NamesThatAreNoPortAreRefusedBeforeOpening) {
  for (const char* field : {"0", "-1", "256", "70000", "abc", "", "0.4"}) {
    device_.opened_path.clear();
    port_.Open(field);
    EXPECT_FALSE(port_.IsOpen()) << field;
    EXPECT_TRUE(device_.opened_path.empty()) << field;
    EXPECT_FALSE(port_.OpenProblem().empty()) << field;
  }
}

TEST_F(KLinePortTest, FailedOpenIsSilentAndExplained) {
  device_.can_open = false;
  port_.Open("/dev/ttyUSB7");
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_EQ(device_.opened_path, "/dev/ttyUSB7");
  EXPECT_NE(port_.OpenProblem().find("/dev/ttyUSB7"), std::string::npos);
}

TEST_F(KLinePortTest, SetBaudRateChangesOnlyTheRate) {
  port_.Open("1");
  port_.SetBaudRate(kWorkingBaud);
  EXPECT_EQ(device_.settings(), (LineSettings{7812, 8, Parity::kNone, 1}));
  EXPECT_TRUE(device_.Dtr());
  EXPECT_EQ(port_.LastError().number, 0);
}

TEST_F(KLinePortTest, SetBaudRateFailuresAreRecordedNotRaised) {
  struct Case {
    bool open, readable, writable;
    int number;
    const char* text;
  };
  const Case cases[] = {
      {false, true, true, 8018, "Operation valid only when the port is open"},
      {true, false, true, 8021, "Could not read current state of the port"},
      {true, true, false, 8015, "Could not set port to specified baud rate"},
  };
  for (const Case& c : cases) {
    VirtualClock clock;
    ScriptedDevice device(clock);
    KLinePort port(device, clock);
    if (c.open) port.Open("1");
    device.readable = c.readable;
    device.writable = c.writable;
    port.SetBaudRate(kWorkingBaud);
    EXPECT_EQ(port.LastError().number, c.number);
    EXPECT_EQ(port.LastError().description, c.text);
    EXPECT_EQ(port.LastError().source, "MSComm1");
    EXPECT_EQ(device.settings().baud, 1200) << "a failed switch keeps the old rate";
  }
}

TEST_F(KLinePortTest, ExchangeAppliesTheEchoRule) {
  struct Case {
    const char* name;
    std::vector<std::pair<int64_t, uint8_t>> reply;
    bool check_echo;
    bool timed_out;
    const char* reply_hex;
    const char* answer;
  };
  const Case cases[] = {
      {"valid", {{9, 0x0F}, {18, 0x80}}, true, false, "0F80", "80"},
      {"swapped", {{9, 0x80}, {18, 0x0F}}, true, false, "800F", ""},
      {"unchecked takes byte two", {{9, 0x80}, {18, 0x0F}}, false, false, "800F", "0F"},
      {"silent", {}, true, true, "", ""},
      {"echo only", {{9, 0x0F}}, true, true, "", ""},
  };
  for (const Case& c : cases) {
    device_.Answer(0x0F, c.reply);
    port_.Open("1");
    const ExchangeResult result = port_.ExchangeByte(
        {.request = 0x0F, .count = 2, .limit_ms = 2000, .check_echo = c.check_echo});
    EXPECT_EQ(result.timed_out, c.timed_out) << c.name;
    EXPECT_EQ(result.reply_hex, c.reply_hex) << c.name;
    EXPECT_EQ(result.answer, c.answer) << c.name;
  }
}

TEST_F(KLinePortTest, ExchangeFlushesLeftoversAndPausesFirst) {
  device_.Answer(0x01, {{1, 0x99}});
  device_.Answer(0x05, {{9, 0x05}, {18, 0x19}});
  port_.Open("1");
  port_.WriteByte(0x01);
  clock_.SleepMs(5);  // a stale byte is waiting
  const int64_t before = clock_.NowMs();
  const ExchangeResult result = port_.ExchangeByte({.request = 0x05, .pause_first_ms = 8});
  EXPECT_EQ(result.reply_hex, "0519");
  EXPECT_GE(clock_.NowMs() - before, 8 + 18);
}

TEST_F(KLinePortTest, WaitTimesOutWithinOnePausePastTheBoundAndNeverBefore) {
  struct Case {
    int64_t limit;
    PollPause pause;
    int64_t pause_ms;
  };
  for (const Case& c :
       {Case{2000, PollPause::k3ms, 3}, Case{3000, PollPause::k3msThen1ms, 4},
        Case{5000, PollPause::k1msAround3, 4}, Case{2500, PollPause::k3msThen1ms, 4}}) {
    port_.Open("1");
    const int64_t start = clock_.NowMs();
    EXPECT_FALSE(port_.WaitForCountTimed(2, c.limit, c.pause));
    const int64_t waited = clock_.NowMs() - start;
    EXPECT_GT(waited, c.limit);
    EXPECT_LE(waited, c.limit + c.pause_ms);
  }
}

TEST_F(KLinePortTest, WaitSucceedsAsSoonAsTheCountIsThere) {
  device_.Answer(0x09, {{9, 0x09}, {1990, 0x42}});
  port_.Open("1");
  port_.WriteByte(0x09);
  const int64_t start = clock_.NowMs();
  EXPECT_TRUE(port_.WaitForCountTimed(2, 2000, PollPause::k3ms));
  EXPECT_LE(clock_.NowMs() - start, 1990 + 3);
}

TEST_F(KLinePortTest, ClosedPortReadsNothingAndWritesNothing) {
  port_.WriteByte(0x01);
  EXPECT_TRUE(device_.written.empty());
  EXPECT_EQ(port_.PendingCount(), 0);
  EXPECT_TRUE(port_.ReadAll().empty());
}

}  // namespace
}  // namespace kline
