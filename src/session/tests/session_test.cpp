// The session against the simulated ECU on virtual time: whole connections, the timing on
// the wire, and the ways a real cable and ECU go wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <tuple>

#include "link/ini_file.h"
#include "link/kline_port.h"
#include "link/testing/scripted_line.h"
#include "session/session_driver.h"
#include "session/testing/sim_session.h"
#include "sim/simulated_line.h"

namespace kline {
namespace {

using sim::FaultKind;
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

// However a connection ends, nothing the ECU said is left on the panel.
void ExpectDisconnected(const Rig& rig) {
  EXPECT_EQ(rig.panel.indicator, kIndicatorRed);
  EXPECT_EQ(rig.panel.connect_caption, "Connect");
  EXPECT_EQ(rig.panel.timer(), 0);
  EXPECT_FALSE(rig.panel.menus);
  EXPECT_EQ(rig.panel.info, "");
  for (int i = 0; i < kChannelCount; ++i) EXPECT_EQ(rig.panel.ValueText(i), "") << i;
  EXPECT_EQ(rig.panel.readout, "");
  EXPECT_EQ(rig.panel.lit, 0);
}

TEST(Session, FullConnectionForEachType) {
  const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  const std::tuple<EcuType, bool, int32_t, std::vector<int>> cases[] = {
      {EcuType::k15m, true, 7812, all},
      {EcuType::k15Rc, false, 7812, all},
      {EcuType::k16m, true, 1200, all},
      {EcuType::kP8, false, 7812, {6, 7}},
  };
  for (const auto& [type, iso_line, final_baud, channels] : cases) {
    SCOPED_TRACE(std::string(EcuTypeName(type)));
    Rig rig(type);
    rig.Connect();
    EXPECT_EQ(rig.panel.indicator, kIndicatorGreen);
    EXPECT_EQ(rig.panel.connect_caption, "Disconnect");
    EXPECT_EQ(rig.panel.timer(), 50);
    EXPECT_NE(rig.panel.status, "");
    rig.Run(8000);

    std::string iso;
    if (iso_line) {
      const std::string code = KLinePort::ToReplyHex(sim::BuiltinProfile(type).iso_code);
      iso = "Iso Code    : " + code.substr(code.find("55"), 12) + "\r\n";
    }
    EXPECT_EQ(rig.panel.info, iso + "ecu data    : " + Text(*rig.panel.type, 0x17, 0x20) + "\r\n" +
                                  "calibration : " + Text(*rig.panel.type, 0x21, 0x28) + "\r\n");
    EXPECT_TRUE(rig.panel.menus);
    EXPECT_EQ(rig.panel.status, "");
    EXPECT_EQ(rig.line.PcBaud(), final_baud);
    for (int i = 0; i < kChannelCount; ++i) {
      const bool polled = std::find(channels.begin(), channels.end(), i) != channels.end();
      EXPECT_EQ(rig.panel.ValueText(i).empty(), !polled) << "channel " << i;
    }
    if (type != EcuType::kP8) {
      EXPECT_EQ(rig.panel.readout, rig.panel.ValueText(0));
      EXPECT_EQ(rig.panel.lit, SpeedBarLitCount(std::stoll(rig.panel.readout)));
      // The trimmer's request byte: 0x0F for the 15 types (also the first wake-up byte).
      const bool is16m = type == EcuType::k16m;
      EXPECT_EQ(rig.SentCount(0x0B) > 0, is16m);
      EXPECT_EQ(rig.SentCount(0x0F) > 1, !is16m);
    }

    rig.panel.connect_ticked = false;
    rig.driver.OnConnectBox(false);
    ExpectDisconnected(rig);
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
  rig.Run(30000);
  const auto sent = rig.Sent();
  // Each text read gives up on its first request; a P8 is asked again at the next ticks.
  ASSERT_GE(sent.size(), 8u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(sent[i].byte, i < kP8IdentificationTries ? 0x17 : 0x21) << i;
  }
  const int64_t info_wait = sent[3].time_us - sent[2].time_us - 8 * kMs;
  EXPECT_GT(info_wait, 3000 * kMs);
  EXPECT_LE(info_wait, 3004 * kMs + 4 * kMs);
  // Live data: throttle asked, 2000 ms, the step ends; the next tick asks again.
  EXPECT_EQ(sent[6].byte, 0x09);
  EXPECT_EQ(sent[7].byte, 0x09);
  const int64_t live_wait = sent[7].time_us - sent[6].time_us - (50 + 5 + 8 + 8) * kMs;
  EXPECT_GT(live_wait, 2000 * kMs);
  EXPECT_LE(live_wait, 2003 * kMs + 3 * kMs);
  EXPECT_EQ(rig.panel.info, "");
  EXPECT_EQ(rig.panel.ValueText(6), "");
}

TEST(Session, IsoCodeVariants) {
  const std::tuple<std::vector<uint8_t>, std::string, int32_t> cases[] = {
      {{0x80, 0x55, 0x0F, 0x5A, 0x03, 0x11, 0x22}, "Iso Code    : 550F5A031122\r\n", 7812},
      {{0x80, 0x05, 0x5A, 0x01, 0x02, 0x03, 0x04}, "Iso Code    : 55A01020304\r\n", 7812},
      {{0x01, 0x02, 0x03, 0x04, 0x06, 0x07}, "Iso Code    : 010203040607\r\n", 7812},
      // A byte lost at key-on: the code as far as it came, marked.
      {{0x80, 0x55, 0x0F, 0x5A, 0x03, 0x11},
       "Iso Code    : 550F5A0311 (incomplete: 5 of 6 bytes)\r\n",
       7812},
      // Too short: not woken, the bytes dropped, the status bar says why.
      {{0x80, 0x55, 0x0F, 0x5A}, "", 1200},
  };
  for (const auto& [iso, line, baud] : cases) {
    sim::Profile profile = sim::BuiltinProfile(EcuType::k15m);
    profile.iso_code = iso;
    Rig rig(EcuType::k15m, profile);
    rig.Connect();
    rig.Run(1000);
    EXPECT_EQ(rig.panel.info.substr(0, line.size()), line);
    EXPECT_EQ(rig.driver.init(), iso.size() >= 6);
    EXPECT_EQ(rig.line.PcBaud(), baud);
    if (iso.size() < 6) {
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

// A P8 starts with throttle and battery only: the status line says so, or its empty speed bar
// and rev counter would look like a fault.
TEST(Session, AP8SaysWhichChannelsItPolls) {
  Rig rig(EcuType::kP8);
  rig.Connect();
  rig.Run(200);
  EXPECT_EQ(rig.panel.port_message,
            "P8: polling throttle angle and battery, the channels a P8 connection starts with; "
            "tick the others to poll them too (the speed bar stays empty until rpm is ticked).");
}

// A lost answer costs one character, kept marked, and the read goes on.
TEST(Session, ALostIdentificationAnswerIsMarkedNotDropped) {
  Rig rig(EcuType::k15m);
  rig.line.InjectFault(FaultKind::kDropAnswer, 7);  // the wake-up's three, then the 4th
  rig.Connect();
  rig.Run(10000);
  EXPECT_EQ(rig.panel.info.substr(rig.panel.info.find("ecu data")),
            "ecu data    : " + Text(EcuType::k15m, 0x17, 0x19) + "?" +
                Text(EcuType::k15m, 0x1B, 0x20) +
                " (incomplete: 1 of 10 characters missing, shown as ?)\r\ncalibration : " +
                Text(EcuType::k15m, 0x21, 0x28) + "\r\n");
}

// A P8 is never woken, so a text that did not come is asked again at the next tick.
TEST(Session, P8CalibrationStoppingMidwayIsAskedAgain) {
  Rig rig(EcuType::kP8);
  rig.Connect();
  rig.line.InjectFault(FaultKind::kDropAnswer, 14);  // 10 information requests, then 4th
  rig.Run(100);
  EXPECT_EQ(rig.panel.info, "ecu data    : " + Text(*rig.panel.type, 0x17, 0x20) + "\r\n");
  EXPECT_FALSE(rig.driver.cal_ask());
  rig.Run(200);
  EXPECT_EQ(rig.panel.info, "ecu data    : " + Text(*rig.panel.type, 0x17, 0x20) +
                                "\r\ncalibration : " + Text(*rig.panel.type, 0x21, 0x28) + "\r\n");
  EXPECT_FALSE(rig.panel.ValueText(6).empty()) << "live data follows in the same tick";
}

// A reading that turns into "no value" (FF) keeps the field's last text, greyed at once: the
// field no longer claims to show what the ECU last said. The other fields stay current.
TEST(Session, ANoValueReadingGreysItsField) {
  Rig rig(EcuType::k15m);
  rig.Connect();
  rig.Run(5000);
  const std::string throttle = rig.panel.ValueText(6);
  ASSERT_FALSE(throttle.empty());
  ASSERT_FALSE(rig.panel.stale[6]);
  rig.line.SetAnswer(0x09, 0xFF);
  rig.Run(500);
  EXPECT_EQ(rig.panel.ValueText(6), throttle);
  EXPECT_TRUE(rig.panel.stale[6]);
  EXPECT_FALSE(rig.panel.samples.back().values[6]);
  for (int i : {0, 5, 7}) EXPECT_FALSE(rig.panel.stale[i]) << i;
}

// The answer is what follows the echo: a byte before it is taken for neither, so the fields
// read as they would without it, and the requests go out at the same moments.
TEST(Session, StrayByteBeforeEchoIsNeitherEchoNorAnswer) {
  Rig clean(EcuType::k15m);
  Rig stray(EcuType::k15m);
  for (Rig* rig : {&clean, &stray}) {
    rig->Connect();
    rig->Run(5000);
  }
  stray.line.InjectFault(FaultKind::kStrayByte, 0x42);
  clean.Run(3000);
  stray.Run(3000);
  for (int i = 0; i < kChannelCount; ++i) {
    EXPECT_EQ(stray.panel.ValueText(i), clean.panel.ValueText(i)) << i;
  }
  EXPECT_EQ(stray.Sent(), clean.Sent());
}

// The number a field shows, if it shows one.
std::optional<double> ShownNumber(const char* text, char separator) {
  if (text == nullptr) return std::nullopt;
  std::string number = text;
  std::replace(number.begin(), number.end(), separator, '.');
  char* end = nullptr;
  const double value = std::strtod(number.c_str(), &end);
  if (end == number.c_str()) return std::nullopt;
  return value;
}

// Each type's requests and answers through the whole step, as the field and the sample show
// them, and for the engine speed the readout and the bar too; the byte rules themselves are
// tested on the decode alone.
TEST(Session, LiveAnswersPerType) {
  struct Case {
    EcuType type;
    int channel;
    uint8_t request;             // the first of the channel's requests
    std::vector<uint8_t> bytes;  // the answers to it and the next
    const char* shown;           // nullptr: unchanged
    const char* readout = nullptr;
    int lit = -7;  // -7: unchanged
    char separator = '.';
  };
  const Case cases[] = {
      {EcuType::k15m, 0, 0x01, {0x2E, 0xE0}, "1250", "1250", 12},
      {EcuType::k15m, 0, 0x01, {0xFF, 0xFF}, " ----", " ----", 0},
      {EcuType::k15m, 0, 0x01, {0x00, 0x00}, " 0", "0", 0},
      {EcuType::k15Rc, 0, 0x01, {0x00, 0x01}, "15000000", "15000000", 120},
      {EcuType::kP8, 0, 0x01, {0x2E, 0xE0}, "2500", "2500", 25},
      {EcuType::kP8, 0, 0x01, {0xFF, 0xFF}, " ----", " ----", 0},
      {EcuType::kP8, 5, 0x08, {0x64}, "35.8"},
      {EcuType::k15m, 8, 0x0F, {0xFF}, "127"},
      {EcuType::k16m, 8, 0x0B, {0x90}, "16"},
      {EcuType::kP8, 8, 0x0B, {0x85}, "5"},
      {EcuType::k15m, 7, 0x0A, {0xC8}, "12,5", nullptr, -7, ','},
      {EcuType::k15m, 6, 0x09, {0xAA}, "30,01", nullptr, -7, ','},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(EcuTypeName(c.type)) + " request " + std::to_string(c.request) +
                 " answer " + std::to_string(c.bytes[0]));
    Rig rig(c.type);
    rig.driver.SetDecimalSeparator(c.separator);
    rig.Connect();
    rig.panel.ticked.fill(true);
    rig.Run(5000);
    for (size_t i = 0; i < c.bytes.size(); ++i)
      rig.line.SetAnswer(static_cast<uint8_t>(c.request + i), c.bytes[i]);
    rig.panel.SetValueText(c.channel, "prev");
    rig.panel.readout = "prev";
    rig.panel.lit = -7;
    rig.Run(50);
    EXPECT_EQ(rig.panel.ValueText(c.channel), c.shown ? c.shown : "prev");
    if (c.channel == 0) {
      EXPECT_EQ(rig.panel.readout, c.readout ? c.readout : "prev");
      EXPECT_EQ(rig.panel.lit, c.lit);
    }
    const std::optional<double> sampled = rig.panel.samples.back().values[c.channel];
    const std::optional<double> shown = ShownNumber(c.shown, c.separator);
    ASSERT_EQ(sampled.has_value(), shown.has_value());
    EXPECT_NEAR(sampled.value_or(0), shown.value_or(0), 0.005);
  }
}

TEST(Session, CablePulledInEachStateEndsDisconnected) {
  const std::tuple<const char*, EcuType, int64_t> cases[] = {
      {"waiting for the ECU", EcuType::k15m, 100},
      {"identifying", EcuType::kP8, 0},
      {"polling", EcuType::k15m, 5000},
      {"polling P8", EcuType::kP8, 5000},
  };
  for (const auto& [state, type, run_before_ms] : cases) {
    SCOPED_TRACE(state);
    Rig rig(type);
    rig.Connect();
    rig.Run(run_before_ms);
    rig.line.PullCable();
    const int64_t before = rig.clock.NowMs();
    rig.Run(10000);
    EXPECT_LT(rig.clock.NowMs() - before, 3200);
    ExpectDisconnected(rig);
    EXPECT_FALSE(rig.panel.connect_ticked);
    EXPECT_FALSE(rig.panel.port_message.empty());
    EXPECT_FALSE(rig.port.IsOpen());

    // Plugged back in, "Connect" works again.
    rig.line.ClearFaults();
    rig.Connect();
    EXPECT_TRUE(rig.port.IsOpen());
    EXPECT_EQ(rig.panel.port_message, "");
    rig.Run(6000);
    EXPECT_TRUE(rig.driver.cal_ask());
  }
}

// A field that names a port is saved with the type at "Connect"; one that names none changes
// nothing but the message, and the file is left alone.
TEST(Session, ConnectSavesPortAndTypeOrChangesNothing) {
  const std::tuple<std::string, EcuType, std::string, std::string> cases[] = {
      {"4", EcuType::k15m, "4", "1"},     {"04", EcuType::kP8, "4", "2"},
      {"3.5", EcuType::k16m, "3.5", "3"}, {"/dev/pts/7", EcuType::k15m, "/dev/pts/7", "1"},
      {"xyz", EcuType::k15Rc, "", ""},    {"0", EcuType::k15m, "", ""},
      {"300", EcuType::k15m, "", ""},
  };
  for (const auto& [field, type, com, ecu] : cases) {
    SCOPED_TRACE(field);
    Rig rig(type);
    rig.panel.port_field = field;
    rig.panel.indicator = 12345;
    rig.Connect();
    EXPECT_EQ(rig.ini.LireINI("Hardware", "Com"), com);
    EXPECT_EQ(rig.ini.LireINI("Hardware", "Ecu"), ecu);
    EXPECT_EQ(rig.port.IsOpen(), !com.empty());
    if (com.empty()) {
      EXPECT_EQ(rig.panel.indicator, 12345u);
      EXPECT_EQ(rig.panel.connect_caption, "Connect");
      EXPECT_TRUE(rig.panel.timer_log.empty());
      EXPECT_NE(rig.panel.port_message, "");
    }
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
  const std::tuple<const char*, uint8_t, bool> cases[] = {
      {"information", 0x17, true}, {"calibration", 0x21, false}, {"live data", 0x09, false}};
  for (const auto& [step, request, ecu_data] : cases) {
    SCOPED_TRACE(step);
    VirtualClock clock;
    testing::ScriptedLine line(clock);
    line.Answer(request, {{5, {request, 0x41}}});
    KLinePort port(line, clock);
    FakePanel panel;
    panel.type = EcuType::kP8;
    panel.ecu_data = ecu_data;
    const IniText ini;
    SessionDriver driver(port, panel, ini);
    driver.Connect();
    if (request == 0x09) driver.OnCalibrationBox(true);
    line.hang_up_at_read = true;
    driver.Tick();
    EXPECT_EQ(panel.info, "");
    EXPECT_EQ(panel.ValueText(6), "");
    EXPECT_FALSE(panel.port_message.empty()) << "the lost port is reported";
  }
}

}  // namespace
}  // namespace kline
