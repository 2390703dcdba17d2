#include "sim/live_values.h"

#include <algorithm>
#include <cmath>

namespace kline::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Smooth(double x) { return x * x * (3 - 2 * x); }

// 0xFF reads as "no value" on the PC side: a working sensor never sends it.
uint8_t Byte(double raw, double top = 0xFE) {
  return static_cast<uint8_t>(std::clamp(std::round(raw), 0.0, top));
}

std::array<uint8_t, 2> Word(double raw) {
  const auto word = static_cast<uint16_t>(std::clamp(std::round(raw), 1.0, 65279.0));
  return {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word & 0xFF)};
}

}  // namespace

double RevPhase(const RevCycle& cycle, double t_s) {
  const double period = cycle.idle_s + cycle.rise_s + cycle.hold_s + cycle.fall_s;
  double t = std::fmod(std::max(t_s, 0.0), period);
  if (t < cycle.idle_s) return 0;
  t -= cycle.idle_s;
  if (t < cycle.rise_s) return Smooth(t / cycle.rise_s);
  t -= cycle.rise_s;
  if (t < cycle.hold_s) return 1;
  t -= cycle.hold_s;
  return 1 - Smooth(t / cycle.fall_s);
}

double LiveValue(const LiveChannel& channel, const RevCycle& cycle, double t_s) {
  // Each channel wobbles at its own pace so the values do not move in lockstep.
  const double wobble_period_s = 0.7 + 0.05 * channel.request;
  const double wobble = channel.ripple * std::sin(2 * kPi * t_s / wobble_period_s);
  return channel.idle + (channel.rev - channel.idle) * RevPhase(cycle, t_s) + wobble;
}

std::array<uint8_t, 2> RawBytes(LiveKind kind, double value, EcuType type) {
  switch (kind) {
    case LiveKind::kRpm: {
      const double constant = type == EcuType::kP8 ? 30000000.0 : 15000000.0;
      return Word(constant / std::max(value, 1.0));
    }
    case LiveKind::kInjectionMs:
      return Word(value * 1000 / 2);
    case LiveKind::kAdvanceDeg:
      return {Byte(value * 2), 0};
    case LiveKind::kPressureMbar:
      return {Byte((value / 1.33322 - 91) / 2.8758), 0};
    case LiveKind::kTempC:
      return {Byte(value + 55), 0};
    case LiveKind::kThrottleDeg:
      return {Byte(value <= 30 ? (value + 1.41) / 0.1848 : (value + 90) / 0.7058), 0};
    case LiveKind::kBatteryV:
      return {Byte(value / 0.0625), 0};
    case LiveKind::kTrimmer:
      return {Byte(value + 128, 0xFF), 0};
    case LiveKind::kRaw:
      break;
  }
  return {Byte(value, 0xFF), 0};
}

}  // namespace kline::sim
