// The session against the simulated ECU on virtual time: whole connections, the timing on
// the wire, and the ways a real cable and ECU go wrong.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>

#include "link/ini_file.h"
#include "link/kline_port.h"
#include "link/testing/scripted_line.h"
#include "session/session_driver.h"
#include "session/testing/sim_session.h"
#include "sim/simulated_line.h"

namespace kline {
namespace {

using sim::FaultKind;
using sim::TraceEntry;
using Dir = TraceEntry::Dir;

constexpr int64_t kMs = 1000;

// The information or calibration text the profile holds for requests first..last.
std::string Text(EcuType type, uint8_t first, uint8_t last) {
  const sim::Profile profile = sim::BuiltinProfile(type);
  std::string text;
  for (int r = first; r <= last; ++r) text.push_back(static_cast<char>(profile.answers.at(r)));
  return text;
}

using Rig = SimSession;

TEST(Session, FullConnectionForEachType) {
  struct Case {
    EcuType type;
    bool iso_line;
    int32_t final_baud;
    std::vector<int> polled;
  };
  const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  const Case cases[] = {
      {EcuType::k15m, true, 7812, all},
      {EcuType::k15Rc, false, 7812, all},
      {EcuType::k16m, true, 1200, all},
      {EcuType::kP8, false, 7812, {6, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(EcuTypeName(c.type)));
    Rig rig(c.type);
    rig.Connect();
    EXPECT_EQ(rig.panel.indicator, kIndicatorGreen);
    EXPECT_EQ(rig.panel.connect_caption, "Disconnect");
    EXPECT_EQ(rig.panel.timer(), 50);
    EXPECT_EQ(rig.panel.status, "Wait for ignition..");
    rig.Run(8000);

    std::string iso;
    if (c.iso_line) {
      const std::string code = KLinePort::ToReplyHex(sim::BuiltinProfile(c.type).iso_code);
      iso = "Iso Code    : " + code.substr(code.find("55"), 12) + "\r\n";
    }
    EXPECT_EQ(rig.panel.info, iso + "ecu data    : " + Text(*rig.panel.type, 0x17, 0x20) + "\r\n" +
                                  "calibration : " + Text(*rig.panel.type, 0x21, 0x28) + "\r\n");
    EXPECT_TRUE(rig.panel.menus);
    EXPECT_EQ(rig.panel.status, "");
    EXPECT_EQ(rig.line.PcBaud(), c.final_baud);
    for (int i = 0; i < kChannelCount; ++i) {
      const bool polled = std::find(c.polled.begin(), c.polled.end(), i) != c.polled.end();
      EXPECT_EQ(rig.panel.ValueText(i).empty(), !polled) << "channel " << i;
    }
    if (c.type != EcuType::kP8) {
      EXPECT_EQ(rig.panel.readout, rig.panel.ValueText(0));
      EXPECT_EQ(rig.panel.lit, SpeedBarLitCount(std::stoll(rig.panel.readout)));
      // The trimmer's request byte: 0x0F for the 15 types (also the first wake-up byte).
      const bool is16m = c.type == EcuType::k16m;
      EXPECT_EQ(rig.SentCount(0x0B) > 0, is16m);
      EXPECT_EQ(rig.SentCount(0x0F) > 1, !is16m);
    }

    rig.panel.connect_ticked = false;
    rig.driver.OnConnectBox(false);
    EXPECT_EQ(rig.panel.indicator, kIndicatorRed);
    EXPECT_EQ(rig.panel.connect_caption, "Connect");
    EXPECT_EQ(rig.panel.info, "");
    for (int i = 0; i < kChannelCount; ++i) EXPECT_EQ(rig.panel.ValueText(i), "");
    EXPECT_EQ(rig.panel.readout, "");
    EXPECT_EQ(rig.panel.lit, 0);
    EXPECT_FALSE(rig.panel.menus);
    EXPECT_EQ(rig.panel.timer(), 0);
    EXPECT_FALSE(rig.driver.init() || rig.driver.ecuinf() || rig.driver.cal_ask());
  }
}

TEST(Session, WakeUpAndRequestTimingOnTheWire) {
  Rig rig(EcuType::k15m);
  rig.Connect();
  rig.Run(5000);
  const auto sent = rig.Sent();
  ASSERT_GE(sent.size(), 20u);
  ASSERT_EQ(sent[0].byte, 0x0F);
  ASSERT_EQ(sent[1].byte, 0xAA);
  ASSERT_EQ(sent[2].byte, 0xCC);
  EXPECT_EQ(sent[1].time_us - sent[0].time_us, 110 * kMs);
  EXPECT_EQ(sent[2].time_us - sent[1].time_us, 110 * kMs);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(sent[i].baud, 1200);
  // 300 ms after 0xCC the rate switches; the first request follows 8 ms later at 7812.
  EXPECT_EQ(sent[3].byte, 0x17);
  EXPECT_EQ(sent[3].time_us - sent[2].time_us, 308 * kMs);
  EXPECT_EQ(sent[3].baud, 7812);

  // 608 ms of silence on the wire before the wake-up sequence.
  int64_t last_before = 0;
  for (const TraceEntry& e : rig.line.trace()) {
    if (e.time_us < sent[0].time_us) last_before = std::max(last_before, e.time_us);
  }
  EXPECT_GE(sent[0].time_us - last_before, 608 * kMs);

  // Every request waits 8 ms after the last byte heard before it goes out.
  for (size_t i = 4; i < sent.size(); ++i) {
    int64_t previous = 0;
    for (const TraceEntry& e : rig.line.trace()) {
      if (e.time_us < sent[i].time_us && e.dir != Dir::kPcSent) previous = e.time_us;
    }
    EXPECT_GE(sent[i].time_us - previous, 8 * kMs) << "request " << i;
  }
}

TEST(Session, TimeOutsFireJustAfterTheirBounds) {
  Rig rig(EcuType::kP8);
  rig.line.InjectFault(FaultKind::kSilent);
  rig.Connect();
  rig.Run(20000);
  const auto sent = rig.Sent();
  // The information read gives up on its first request, and so does the calibration read.
  ASSERT_GE(sent.size(), 4u);
  EXPECT_EQ(sent[0].byte, 0x17);
  EXPECT_EQ(sent[1].byte, 0x21);
  const int64_t info_wait = sent[1].time_us - sent[0].time_us - 8 * kMs;
  EXPECT_GT(info_wait, 3000 * kMs);
  EXPECT_LE(info_wait, 3004 * kMs + 4 * kMs);
  // Live data: throttle asked, 2000 ms, the step ends; the next tick asks again.
  EXPECT_EQ(sent[2].byte, 0x09);
  EXPECT_EQ(sent[3].byte, 0x09);
  const int64_t live_wait = sent[3].time_us - sent[2].time_us - (50 + 5 + 8 + 8) * kMs;
  EXPECT_GT(live_wait, 2000 * kMs);
  EXPECT_LE(live_wait, 2003 * kMs + 3 * kMs);
  EXPECT_EQ(rig.panel.info, "");
  EXPECT_EQ(rig.panel.ValueText(6), "");
}

TEST(Session, IsoCodeVariants) {
  struct Case {
    std::vector<uint8_t> iso;
    std::string line;
    int32_t baud;
  };
  const Case cases[] = {
      {{0x80, 0x55, 0x0F, 0x5A, 0x03, 0x11, 0x22}, "Iso Code    : 550F5A031122\r\n", 7812},
      {{0x80, 0x05, 0x5A, 0x01, 0x02, 0x03, 0x04}, "Iso Code    : 55A01020304\r\n", 7812},
      {{0x01, 0x02, 0x03, 0x04, 0x06, 0x07}, "Iso Code    : 010203040607\r\n", 7812},
      // Too short: not woken, the bytes dropped, the status bar says why.
      {{0x80, 0x55, 0x0F, 0x5A}, "", 1200},
  };
  for (const Case& c : cases) {
    sim::Profile profile = sim::BuiltinProfile(EcuType::k15m);
    profile.iso_code = c.iso;
    Rig rig(EcuType::k15m, profile);
    rig.Connect();
    rig.Run(1000);
    EXPECT_EQ(rig.panel.info.substr(0, c.line.size()), c.line);
    EXPECT_EQ(rig.driver.init(), c.iso.size() >= 6);
    EXPECT_EQ(rig.line.PcBaud(), c.baud);
    if (c.iso.size() < 6) {
      EXPECT_EQ(rig.SentCount(0xAA), 0);
      EXPECT_EQ(rig.panel.status, "Wait for ignition..");
      EXPECT_EQ(rig.panel.info, "");
      EXPECT_NE(rig.panel.port_message.find("4 of 6"), std::string::npos);
      EXPECT_EQ(rig.port.PendingCount(), 0);
      // The next tick hears nothing and goes on unwoken: the message says so.
      rig.Run(4000);
      EXPECT_TRUE(rig.driver.init());
      EXPECT_EQ(rig.panel.port_message.find("waiting for the ignition"), std::string::npos)
          << rig.panel.port_message;
    }
  }
}

TEST(Session, NoReceiveEventMeansTryAgainNextTick) {
  Rig rig(EcuType::k16m, std::nullopt, -1);
  rig.Connect();
  rig.Run(3000);
  EXPECT_FALSE(rig.driver.init());
  EXPECT_TRUE(rig.Sent().empty());
  EXPECT_FALSE(rig.panel.menus);
  rig.line.SetIgnition(true);
  rig.Run(3000);
  EXPECT_TRUE(rig.driver.init());
  EXPECT_TRUE(rig.panel.menus);
}

TEST(Session, CalibrationStoppingMidwayShowsNoCalibrationLine) {
  Rig rig(EcuType::kP8);
  rig.Connect();
  rig.line.InjectFault(FaultKind::kDropAnswer, 14);  // 10 information requests, then 4th
  rig.Run(100);
  EXPECT_EQ(rig.panel.info, "ecu data    : " + Text(*rig.panel.type, 0x17, 0x20) + "\r\n");
  EXPECT_TRUE(rig.driver.cal_ask());
  EXPECT_FALSE(rig.panel.ValueText(6).empty()) << "live data follows in the same tick";
}

TEST(Session, StrayByteBeforeEchoLeavesThatFieldButNotTheNext) {
  Rig rig(EcuType::k15m);
  rig.Connect();
  rig.Run(5000);
  for (int i = 0; i < kChannelCount; ++i) rig.panel.SetValueText(i, "old");
  rig.line.InjectFault(FaultKind::kStrayByte, 0x42);
  rig.Run(50);
  for (int i = 0; i < kChannelCount; ++i) EXPECT_EQ(rig.panel.ValueText(i), "old") << i;
  rig.line.ClearFaults();
  rig.Run(50);
  for (int i = 0; i < kChannelCount; ++i) EXPECT_NE(rig.panel.ValueText(i), "old") << i;
}

TEST(Session, SpecialSpeedBytes) {
  struct Case {
    EcuType type;
    uint8_t hi, lo;
    const char* field;    // nullptr: unchanged
    const char* readout;  // nullptr: unchanged
    int lit;              // -7: unchanged
  };
  const Case cases[] = {
      {EcuType::k15m, 0x2E, 0xE0, "1250", "1250", 12},
      {EcuType::k15m, 0xFF, 0xFF, " ----", " ----", 0},
      {EcuType::k15m, 0xFF, 0x10, nullptr, nullptr, -7},
      {EcuType::k15m, 0x12, 0xFF, "3084", "3084", 31},
      {EcuType::k15m, 0x00, 0x00, " 0", "0", 0},
      {EcuType::k16m, 0x00, 0x00, " 0", "0", 0},
      {EcuType::k15Rc, 0x00, 0x01, "15000000", "15000000", 120},
      {EcuType::kP8, 0x2E, 0xE0, "2500", "2500", 25},
      {EcuType::kP8, 0x00, 0x00, " 0", "0", 0},
      {EcuType::kP8, 0x12, 0x00, nullptr, nullptr, -7},
      {EcuType::kP8, 0x00, 0x34, nullptr, nullptr, -7},
      {EcuType::kP8, 0xFF, 0xFF, " ----", " ----", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(EcuTypeName(c.type)) + " " + std::to_string(c.hi) + " " +
                 std::to_string(c.lo));
    Rig rig(c.type);
    rig.Connect();
    rig.panel.ticked.fill(true);
    rig.Run(5000);
    rig.line.SetAnswer(0x01, c.hi);
    rig.line.SetAnswer(0x02, c.lo);
    rig.panel.SetValueText(0, "prev");
    rig.panel.readout = "prev";
    rig.panel.lit = -7;
    rig.Run(50);
    EXPECT_EQ(rig.panel.ValueText(0), c.field ? c.field : "prev");
    EXPECT_EQ(rig.panel.readout, c.readout ? c.readout : "prev");
    EXPECT_EQ(rig.panel.lit, c.lit);
  }
}

TEST(Session, ByteValueRulesPerType) {
  struct Case {
    EcuType type;
    uint8_t request, answer;
    int channel;
    const char* shown;  // nullptr: unchanged
    char separator = '.';
  };
  const Case cases[] = {
      {EcuType::k15m, 0x05, 0xFF, 2, nullptr},     {EcuType::kP8, 0x05, 0xFF, 2, "127.5"},
      {EcuType::k15m, 0x07, 0x55, 4, "30"},        {EcuType::kP8, 0x07, 0xF0, 4, "-55."},
      {EcuType::kP8, 0x07, 0x00, 4, "125."},       {EcuType::kP8, 0x08, 0x64, 5, "35.8"},
      {EcuType::kP8, 0x08, 0xF5, 5, nullptr},      {EcuType::kP8, 0x07, 0xFF, 4, nullptr},
      {EcuType::k15m, 0x0F, 0xFF, 8, "127"},       {EcuType::k16m, 0x0B, 0x90, 8, "16"},
      {EcuType::kP8, 0x0B, 0x85, 8, "5"},          {EcuType::k15m, 0x09, 0xAA, 6, "30.01"},
      {EcuType::k15m, 0x0A, 0xFF, 7, nullptr},     {EcuType::kP8, 0x0A, 0xFF, 7, "15.9375"},
      {EcuType::k16m, 0x06, 0x80, 3, "612"},       {EcuType::kP8, 0x06, 0xFF, 3, "1099"},
      {EcuType::k15m, 0x0A, 0xC8, 7, "12,5", ','}, {EcuType::k15m, 0x09, 0xAA, 6, "30,01", ','},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(EcuTypeName(c.type)) + " request " + std::to_string(c.request));
    Rig rig(c.type);
    rig.driver.SetDecimalSeparator(c.separator);
    rig.Connect();
    rig.panel.ticked.fill(true);
    rig.Run(5000);
    rig.line.SetAnswer(c.request, c.answer);
    rig.panel.SetValueText(c.channel, "prev");
    rig.Run(50);
    EXPECT_EQ(rig.panel.ValueText(c.channel), c.shown ? c.shown : "prev");
  }
}

TEST(Session, CablePulledInEachStateEndsDisconnected) {
  struct Case {
    const char* state;
    EcuType type;
    int64_t run_before_ms;
  };
  const Case cases[] = {
      {"waiting for the ECU", EcuType::k15m, 100},
      {"identifying", EcuType::kP8, 0},
      {"polling", EcuType::k15m, 5000},
      {"polling P8", EcuType::kP8, 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    Rig rig(c.type);
    rig.Connect();
    rig.Run(c.run_before_ms);
    rig.line.PullCable();
    const int64_t before = rig.clock.NowMs();
    rig.Run(10000);
    EXPECT_LT(rig.clock.NowMs() - before, 3200);
    EXPECT_EQ(rig.panel.indicator, kIndicatorRed);
    EXPECT_EQ(rig.panel.connect_caption, "Connect");
    EXPECT_FALSE(rig.panel.connect_ticked);
    EXPECT_EQ(rig.panel.timer(), 0);
    EXPECT_FALSE(rig.panel.port_message.empty());
    EXPECT_FALSE(rig.port.IsOpen());
    EXPECT_EQ(rig.panel.readout, "");
    EXPECT_EQ(rig.panel.lit, 0);

    // Plugged back in, "Connect" works again.
    rig.line.ClearFaults();
    rig.Connect();
    EXPECT_TRUE(rig.port.IsOpen());
    EXPECT_EQ(rig.panel.port_message, "");
    rig.Run(6000);
    EXPECT_TRUE(rig.driver.cal_ask());
  }
}

TEST(Session, PortThatDoesNotOpenChangesNothingButTheMessage) {
  for (const char* field : {"0", "300", "abc"}) {
    Rig rig(EcuType::k15m);
    rig.panel.port_field = field;
    rig.panel.indicator = 12345;
    rig.Connect();
    EXPECT_FALSE(rig.port.IsOpen());
    EXPECT_EQ(rig.panel.indicator, 12345u);
    EXPECT_EQ(rig.panel.connect_caption, "Connect");
    EXPECT_TRUE(rig.panel.timer_log.empty());
    EXPECT_NE(rig.panel.port_message, "");
  }
}

TEST(Session, ConnectSavesPortAndType) {
  struct Case {
    std::string field;
    EcuType type;
    const char* com;
    const char* ecu;
  };
  const Case cases[] = {{"4", EcuType::k15m, "4", "1"},
                        {"04", EcuType::kP8, "4", "2"},
                        {"3.5", EcuType::k16m, "3.5", "3"},
                        {"xyz", EcuType::k15Rc, "", ""},  // no port: the file is left alone
                        {"/dev/pts/7", EcuType::k15m, "/dev/pts/7", "1"}};
  for (const Case& c : cases) {
    Rig rig(c.type);
    rig.panel.port_field = c.field;
    rig.Connect();
    EXPECT_EQ(rig.ini.LireINI("Hardware", "Com"), c.com);
    EXPECT_EQ(rig.ini.LireINI("Hardware", "Ecu"), c.ecu);
  }
}

TEST(Session, ChannelBoxRules) {
  Rig rig(EcuType::k15m);
  rig.Connect();
  rig.Run(5000);
  for (int i = 0; i < kChannelCount; ++i) {
    rig.panel.SetChannelTicked(i, false);
    rig.driver.OnChannelBox();
  }
  for (int i = 0; i < kChannelCount; ++i) EXPECT_EQ(rig.panel.ChannelTicked(i), i == 6) << i;
  EXPECT_EQ(rig.panel.readout, "");
  EXPECT_EQ(rig.panel.lit, 0);
  EXPECT_EQ(rig.panel.timer(), 50);
  rig.Run(50);
  for (int i = 0; i < kChannelCount; ++i) EXPECT_EQ(rig.panel.ValueText(i).empty(), i != 6) << i;

  Rig p8(EcuType::kP8);
  p8.Connect();
  for (int i = 0; i < kChannelCount; ++i) EXPECT_EQ(p8.panel.ChannelTicked(i), i == 6 || i == 7);
}

TEST(Session, IdentificationBoxesSkipStages) {
  Rig rig(EcuType::kP8);
  rig.driver.OnEcuDataBox(true);
  rig.driver.OnCalibrationBox(true);
  rig.Connect();
  EXPECT_FALSE(rig.driver.ecuinf() || rig.driver.cal_ask()) << "Connect clears them";
  rig.panel.ecu_data = false;
  rig.Run(100);
  EXPECT_EQ(rig.SentCount(0x17), 0);
  EXPECT_EQ(rig.panel.info, "calibration : " + Text(*rig.panel.type, 0x21, 0x28) + "\r\n");

  Rig skip(EcuType::kP8);
  skip.Connect();
  skip.driver.OnEcuDataBox(true);
  skip.driver.OnCalibrationBox(false);
  skip.Run(100);
  EXPECT_EQ(skip.SentCount(0x17), 0);
  EXPECT_EQ(skip.SentCount(0x21), 1);

  Rig closed(EcuType::k15m);
  closed.driver.ReadEcuInfo();
  EXPECT_TRUE(closed.driver.ecuinf());
  EXPECT_TRUE(closed.Sent().empty());
}

// What the user queues during a P8 step runs inside it: a tick is skipped, a Disconnect
// stops the step before it asks.
TEST(Session, EventsQueuedDuringTheP8Step) {
  for (bool disconnect : {false, true}) {
    Rig rig(EcuType::kP8);
    rig.Connect();
    rig.Run(2000);
    const size_t before = rig.Sent().size();
    rig.panel.on_events = [&] { disconnect ? rig.driver.OnConnectBox(false) : rig.driver.Tick(); };
    rig.Run(50);
    EXPECT_EQ(rig.Sent().size() - before, disconnect ? 0u : 2u) << "one step: throttle, battery";
    EXPECT_EQ(rig.panel.indicator == kIndicatorRed, disconnect);
  }
}

// Steps that the ECU leaves unanswered: the fields from the first unanswered channel on are
// stale, and the status bar says for how long the ECU has been silent, until it answers.
TEST(Session, SilentEcuWhilePolling) {
  Rig rig(EcuType::k15m);
  rig.Connect();
  rig.Run(5000);
  struct Step {
    std::optional<FaultKind> fault;
    int arg;
    int first_stale;  // kChannelCount: none
    const char* message;
  };
  const Step steps[] = {
      {FaultKind::kDropAnswer, 5, 2, "No answer from ECU for 2 s"},  // 5th request: channel 2
      {FaultKind::kSilent, 0, 0, "No answer from ECU for 4 s"},
      {std::nullopt, 0, kChannelCount, ""},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.message);
    rig.line.ClearFaults();
    if (s.fault) rig.line.InjectFault(*s.fault, s.arg);
    rig.Run(50);
    for (int i = 0; i < kChannelCount; ++i) EXPECT_EQ(rig.panel.stale[i], i >= s.first_stale) << i;
    EXPECT_EQ(rig.panel.port_message, s.message);
    EXPECT_EQ(rig.panel.samples.back().complete, s.first_stale == kChannelCount);
  }
}

// A read that comes up short after a successful count (the adapter closed itself on a
// hang-up) is a time-out wherever an answer is converted: nothing shown, nothing thrown.
TEST(Session, ShortReadAfterTheCountIsATimeOut) {
  struct Case {
    const char* step;
    uint8_t request;
    bool ecu_data;
  };
  const Case cases[] = {
      {"information", 0x17, true}, {"calibration", 0x21, false}, {"live data", 0x09, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    VirtualClock clock;
    testing::ScriptedLine line(clock);
    line.Answer(c.request, {{5, {c.request, 0x41}}});
    KLinePort port(line, clock);
    FakePanel panel;
    panel.type = EcuType::kP8;
    panel.ecu_data = c.ecu_data;
    const IniText ini;
    SessionDriver driver(port, panel, ini);
    driver.Connect();
    if (c.request == 0x09) driver.OnCalibrationBox(true);
    line.hang_up_at_read = true;
    driver.Tick();
    EXPECT_EQ(panel.info, "");
    EXPECT_EQ(panel.ValueText(6), "");
    EXPECT_FALSE(panel.port_message.empty()) << "the lost port is reported";
  }
}

}  // namespace
}  // namespace kline
