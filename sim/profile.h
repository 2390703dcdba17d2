// What one simulated ECU contains and how it times its side of the line: identification
// bytes, wake-up tolerance, the answer table, live-value generators and actuator tests.
// Read from JSON files in sim/profiles/, which are also compiled in.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "link/ecu_type.h"

namespace kline::sim {

// How a live channel's engineering value becomes the raw bytes the ECU sends.
enum class LiveKind {
  kRpm,           // two bytes: the period constant / rpm (hi at the request, lo at the next)
  kInjectionMs,   // two bytes: ms * 1000 / 2
  kAdvanceDeg,    // deg * 2
  kPressureMbar,  // (mbar / 1.33322 - 91) / 2.8758
  kTempC,         // deg + 55
  kThrottleDeg,   // the two-slope throttle line
  kBatteryV,      // volts / 0.0625
  kTrimmer,       // value + 128
  kRaw,           // the byte itself
};

// A value that idles at `idle`, moves to `rev` as the engine revs, with a small wobble.
struct LiveChannel {
  uint8_t request = 0;
  LiveKind kind = LiveKind::kRaw;
  double idle = 0;
  double rev = 0;
  double ripple = 0;  // amplitude of the wobble, in the value's own unit
};

// The engine's rev cycle, repeated for as long as the ignition is on: idle, rise, hold, fall.
struct RevCycle {
  double idle_s = 4;
  double rise_s = 2;
  double hold_s = 1;
  double fall_s = 2;
};

struct ActuatorTest {
  uint8_t first = 0xFF;                 // answer at once; 0xFF means done
  std::optional<uint8_t> final_answer;  // sent after `delay_ms` (0xFF done, 0xEE failed)
  int delay_ms = 0;
};

struct Profile {
  EcuType type = EcuType::k15m;
  bool needs_wake_up = true;
  int32_t working_baud = 7812;
  int latency_us = 2000;  // from the end of a request byte to the start of its answer
  // Sent by itself after ignition on, at 1200 baud (or the working rate without wake-up).
  std::vector<uint8_t> iso_code;
  int iso_delay_ms = 50;
  // A slow ECU leaves this long between the last two of them.
  int iso_last_gap_ms = 0;
  std::vector<uint8_t> wake_up_bytes = {0x0F, 0xAA, 0xCC};
  int wake_up_min_gap_ms = 80;
  int wake_up_max_gap_ms = 200;
  int wake_up_switch_ms = 100;  // from the last wake-up byte to the working rate
  // Fixed answers, including the characters of the identification texts.
  std::map<uint8_t, uint8_t> answers;
  std::vector<LiveChannel> live;
  RevCycle rev_cycle;
  uint8_t diag_enter_answer = 0xFF;
  uint8_t diag_leave_answer = 0xFF;
  std::map<uint8_t, ActuatorTest> tests;
};

// The compiled-in copy of sim/profiles/<type name>.json.
Profile BuiltinProfile(EcuType type);
std::optional<Profile> LoadProfile(const QString& path, std::string* error);
std::optional<Profile> ParseProfile(const QByteArray& json, std::string* error);

// Requests a live channel answers: one, or two for the period channels.
int LiveRequestCount(LiveKind kind);

}  // namespace kline::sim
