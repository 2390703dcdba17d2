// The protocol's facts, stated once: every request byte the PC sends, with its meaning, the
// ECU types that use it and the activity it belongs to; and the nine live channels, with
// their names, units, request bytes per type and conversion. The session, the service
// routines, the line log, the recorder, the chart and the command-line tool read them here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "link/ecu_type.h"

namespace kline {

// What the program is doing on the wire: the same request byte asks for different things in
// each (0x0F is a wake-up byte, the trimmer or a fault byte).
enum class Activity : uint8_t {
  kNone,
  kInterfaceCheck,
  kWakeUp,
  kIdentification,
  kLiveData,
  kActuatorTests15,  // 15m and 15Rc number their tests one way
  kActuatorTests16,  // 16m and P8 another
  kFaultMemory,
};

Activity ActuatorTestsActivity(EcuType type);

// The wake-up sequence, in the order it is sent.
inline constexpr std::array<uint8_t, 3> kWakeUpSequence = {0x0F, 0xAA, 0xCC};
// Into diagnostic mode for the actuator tests, and out of it again.
inline constexpr uint8_t kEnterDiagnosticRequest = 0xAA;
inline constexpr uint8_t kLeaveDiagnosticRequest = 0xFF;

// The pauses the PC keeps before it sends: before a request, after the end of its previous
// byte; inside the wake-up, from the start of 0F to AA and of AA to CC, and from the start of
// CC to whatever follows.
inline constexpr int kRequestPauseMs = 8;
inline constexpr int kWakeUpGapMs = 110;
inline constexpr int kAfterWakeUpMs = 300;
// How long the PC waits for an answer after its request before it gives up on it.
inline constexpr int kAnswerBoundMs = 2000;  // live data
inline constexpr int kFaultAnswerBoundMs = 2500;
inline constexpr int kIdentificationBoundMs = 3000;  // also for the bytes at key-on
inline constexpr int kTestAnswerBoundMs = 5000;      // entering diagnostic mode, a test's first

// A set of ECU types, one bit per type.
using TypeSet = uint8_t;
constexpr TypeSet TypeBit(EcuType type) {
  return static_cast<TypeSet>(1u << static_cast<int>(type));
}
inline constexpr TypeSet kEveryType = 0x0F;

struct RequestRow {
  Activity activity;
  uint8_t request;
  TypeSet types;
  // The byte in hexadecimal and what it asks for, as the line monitor shows it.
  std::string_view label;
};

std::span<const RequestRow> RequestCatalogue();
// The row of `request` sent during `activity`; nullptr when the activity does not use it.
const RequestRow* FindRequest(Activity activity, uint8_t request);

// The longest the PC waits for the answer to `request` in any activity that sends it: a
// trace does not say which one it was in.
int AnswerBoundMs(uint8_t request);

inline constexpr int kChannelCount = 9;

enum class Conversion {
  kEngineSpeed,    // two bytes: a period
  kInjectionTime,  // two bytes: a period
  kIgnitionAdvance,
  kManifoldPressure,
  kTemperature,  // P8: from its table
  kThrottleAngle,
  kBatteryVoltage,
  kTrimmer,
};

struct ChannelRequests {
  uint8_t first;
  std::optional<uint8_t> second;
};

struct ChannelColumn {
  std::string_view csv_name;  // a recording's column, with its unit
  std::string_view caption;   // what a person reads beside a curve
  std::string_view unit;
  uint8_t request;         // 15m and 15Rc
  uint8_t request_16m_p8;  // 16m and P8
  std::optional<uint8_t> second_request;
  Conversion conversion;

  ChannelRequests RequestsFor(EcuType type) const {
    const bool sixteen = type == EcuType::k16m || type == EcuType::kP8;
    return {sixteen ? request_16m_p8 : request, second_request};
  }
};

// In channel order, the order of the main window's fields and of LiveSample::values.
inline constexpr std::array<ChannelColumn, kChannelCount> kChannelColumns = {{
    {"rpm", "Engine speed", "rpm", 0x01, 0x01, 0x02, Conversion::kEngineSpeed},
    {"injection_ms", "Injection time", "ms", 0x03, 0x03, 0x04, Conversion::kInjectionTime},
    {"advance_deg", "Ignition advance", "°", 0x05, 0x05, {}, Conversion::kIgnitionAdvance},
    {"pressure_mbar", "Manifold pressure", "mbar", 0x06, 0x06, {}, Conversion::kManifoldPressure},
    {"air_c", "Air temperature", "°C", 0x07, 0x07, {}, Conversion::kTemperature},
    {"water_c", "Coolant temperature", "°C", 0x08, 0x08, {}, Conversion::kTemperature},
    {"throttle_deg", "Throttle angle", "°", 0x09, 0x09, {}, Conversion::kThrottleAngle},
    {"battery_v", "Battery", "V", 0x0A, 0x0A, {}, Conversion::kBatteryVoltage},
    {"trimmer", "Trimmer", "", 0x0F, 0x0B, {}, Conversion::kTrimmer},
}};

inline constexpr int kSpeedChannel = 0;
inline constexpr int kThrottleChannel = 6;
inline constexpr int kBatteryChannel = 7;

}  // namespace kline
