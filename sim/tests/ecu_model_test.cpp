#include "sim/ecu_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "sim/live_values.h"
#include "sim/wire.h"

namespace kline::sim {
namespace {

using ::testing::IsEmpty;

constexpr int64_t kMs = 1000;

// A 15m ECU with its ignition on at time 0 and its identification bytes taken.
EcuModel On15m() {
  EcuModel ecu(BuiltinProfile(EcuType::k15m));
  ecu.SetIgnition(0, true);
  ecu.TakeOutput();
  return ecu;
}

// Gaps from 80 to 200 ms between the three bytes; a first byte after a refusal starts over.
TEST(EcuModel, WakeUpGapsMustLieInTheTolerance) {
  const std::tuple<std::vector<std::pair<int64_t, uint8_t>>, bool> cases[] = {
      {{{0, 0x0F}, {80 * kMs, 0xAA}, {280 * kMs, 0xCC}}, true},
      {{{0, 0x0F}, {200 * kMs, 0xAA}, {280 * kMs, 0xCC}}, true},
      {{{0, 0x0F}, {200 * kMs + 999, 0xAA}, {310 * kMs + 999, 0xCC}}, true},
      {{{0, 0x0F}, {79 * kMs + 999, 0xAA}, {189 * kMs + 999, 0xCC}}, false},
      {{{0, 0x0F}, {110 * kMs, 0xAA}, {311 * kMs, 0xCC}}, false},
      {{{0, 0x0F}, {110 * kMs, 0xAA}, {130 * kMs, 0xCC}}, false},
      {{{0, 0x0F}, {300 * kMs, 0x0F}, {410 * kMs, 0xAA}, {520 * kMs, 0xCC}}, true},
  };
  for (const auto& [sent, accepted] : cases) {
    SCOPED_TRACE(std::to_string(sent[1].first) + " " + std::to_string(sent[2].first));
    EcuModel ecu = On15m();
    for (const auto& [at, byte] : sent) ecu.Receive(1000 * kMs + at, byte, 1200);
    EXPECT_EQ(ecu.mode(), accepted ? EcuMode::kSwitching : EcuMode::kWaitingForWakeUp);
    EXPECT_THAT(ecu.TakeOutput(), IsEmpty());  // the wake-up bytes are never answered
  }
}

TEST(EcuModel, SwitchesToItsWorkingRateAfterTheProfilesDelay) {
  EcuModel ecu = On15m();
  ecu.Receive(1000 * kMs, 0x0F, 1200);
  ecu.Receive(1110 * kMs, 0xAA, 1200);
  ecu.Receive(1220 * kMs, 0xCC, 1200);
  ASSERT_EQ(ecu.NextDeadline(), 1320 * kMs);
  ecu.Receive(1300 * kMs, 0x17, 1200);  // still switching: not answered
  ecu.OnTime(1320 * kMs);
  EXPECT_EQ(ecu.mode(), EcuMode::kWorking);
  EXPECT_EQ(ecu.baud(), 7812);
  ecu.Receive(1400 * kMs, 0x17, 1200);  // wrong rate now
  ecu.Receive(1500 * kMs, 0x17, 7812);
  const std::vector<EcuModel::Transmission> output = ecu.TakeOutput();
  ASSERT_EQ(output.size(), 1u);
  EXPECT_EQ(output[0], (EcuModel::Transmission{1502 * kMs, 'M', 7812, true}));
}

TEST(EcuModel, IgnitionOffForgetsThePendingSwitchAndTestAnswer) {
  EcuModel ecu(BuiltinProfile(EcuType::kP8));
  ecu.SetIgnition(0, true);
  ecu.Receive(10 * kMs, 0xAA, 7812);
  ecu.Receive(20 * kMs, 0x80, 7812);
  EXPECT_TRUE(ecu.NextDeadline().has_value());
  ecu.SetIgnition(30 * kMs, false);
  EXPECT_FALSE(ecu.NextDeadline().has_value());
  ecu.TakeOutput();
  ecu.Receive(40 * kMs, 0x17, 7812);
  EXPECT_THAT(ecu.TakeOutput(), IsEmpty());
}

TEST(EcuModel, TwoByteValuesAreReadAsOnePair) {
  EcuModel ecu = On15m();
  ecu.Receive(0, 0x0F, 1200);
  ecu.Receive(110 * kMs, 0xAA, 1200);
  ecu.Receive(220 * kMs, 0xCC, 1200);
  ecu.OnTime(400 * kMs);
  // In the middle of the rev-up the period changes from one millisecond to the next.
  const Profile& profile = ecu.profile();
  const int64_t t =
      static_cast<int64_t>((profile.rev_cycle.idle_s + profile.rev_cycle.rise_s / 2) * 1e6);
  const auto at_t = RawBytes(
      LiveKind::kRpm, LiveValue(profile.live.front(), profile.rev_cycle, t / 1e6), EcuType::k15m);
  const auto later = RawBytes(
      LiveKind::kRpm, LiveValue(profile.live.front(), profile.rev_cycle, (t + 150 * kMs) / 1e6),
      EcuType::k15m);
  ASSERT_NE(at_t[1], later[1]);
  EXPECT_EQ(ecu.AnswerTo(0x01, t), at_t[0]);
  EXPECT_EQ(ecu.AnswerTo(0x02, t + 150 * kMs), at_t[1]);
  EXPECT_EQ(ecu.AnswerTo(0x02, t + 150 * kMs), later[1]);  // a lone low byte is current
}

TEST(LiveValues, RevPhaseIdlesRisesHoldsAndFalls) {
  const RevCycle cycle{4, 2, 1, 2};
  const std::pair<double, double> cases[] = {
      {0, 0}, {3.99, 0}, {5, 0.5}, {6.5, 1}, {8, 0.5}, {9.01, 0}, {14, 0.5}, {-1, 0},
  };
  for (const auto& [t, phase] : cases) EXPECT_NEAR(RevPhase(cycle, t), phase, 1e-3) << t;
}

TEST(LiveValues, RawBytesInvertTheChannelConversions) {
  const std::tuple<LiveKind, double, EcuType, std::array<uint8_t, 2>> cases[] = {
      {LiveKind::kRpm, 1250, EcuType::k15m, {0x2E, 0xE0}},
      {LiveKind::kRpm, 2500, EcuType::kP8, {0x2E, 0xE0}},
      {LiveKind::kInjectionMs, 3, EcuType::k15m, {0x05, 0xDC}},
      {LiveKind::kAdvanceDeg, 12.5, EcuType::k15m, {0x19, 0}},
      {LiveKind::kPressureMbar, 612, EcuType::k15m, {0x80, 0}},
      {LiveKind::kTempC, 30, EcuType::k15m, {0x55, 0}},
      {LiveKind::kThrottleDeg, 30.01, EcuType::k15m, {170, 0}},
      {LiveKind::kThrottleDeg, 30.69, EcuType::k15m, {171, 0}},
      {LiveKind::kThrottleDeg, 0, EcuType::k15m, {8, 0}},
      {LiveKind::kBatteryV, 12.5, EcuType::k15m, {0xC8, 0}},
      {LiveKind::kBatteryV, 40, EcuType::k15m, {0xFE, 0}},  // never "no value"
      {LiveKind::kTrimmer, -16, EcuType::k15m, {0x70, 0}},
      {LiveKind::kTrimmer, 127, EcuType::k15m, {0xFF, 0}},
      {LiveKind::kRaw, 45, EcuType::kP8, {45, 0}},
  };
  for (const auto& [kind, value, type, raw] : cases) {
    EXPECT_EQ(RawBytes(kind, value, type), raw) << static_cast<int>(kind) << " " << value;
  }
}

TEST(Wire, ByteTimesAndRateTolerance) {
  EXPECT_EQ(ByteTimeUs(7812), 1280);
  EXPECT_TRUE(RatesMatch(7812, 7813));
  EXPECT_TRUE(RatesMatch(7812, 8000));
  EXPECT_FALSE(RatesMatch(7812, 8200));
  EXPECT_FALSE(RatesMatch(1200, 7812));
}

TEST(Wire, AReceiverAtAnotherRateReadsWhatItSamples) {
  for (int byte = 0; byte < 256; ++byte) {
    const auto value = static_cast<uint8_t>(byte);
    EXPECT_EQ(GarbleByte(value, 7812, 7812), value);
    // A fast receiver sees little but the long start bit.
    EXPECT_EQ(GarbleByte(value, 1200, 7812), (value & 1) ? 0xC0 : 0x00);
    // A slow one samples after the short byte has ended: the idle line.
    EXPECT_EQ(GarbleByte(value, 7812, 1200), 0xFF);
  }
}

}  // namespace
}  // namespace kline::sim
