// The protocol's facts, stated once: the line rates, the two families of ECU types, every
// request byte the PC sends, with its meaning, the ECU types that use it and the activity it
// belongs to, the pauses and bounds around them; and the nine live channels, with their
// names, units, request bytes per type and conversion. The port, the session, the service
// routines, the line log, the recorder, the chart and the command-line tool read them here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "link/ecu_type.h"

namespace kline {

// Key-on bytes and the wake-up go at the start rate. 15m and 15Rc then move to the working
// rate, 7812.5 baud, which a port is set to as 7812 (rounded half to even); a P8 talks at it
// from the start and a 16m stays at the start rate.
inline constexpr int32_t kStartBaud = 1200;
inline constexpr int32_t kWorkingBaud = 7812;

// The two families: they number their actuator tests and ask for the trimmer differently, and
// only the first moves to the working rate once woken.
enum class EcuGroup {
  k15,  // 15m and 15Rc
  k16,  // 16m and P8
};
constexpr EcuGroup GroupOf(EcuType type) {
  return type == EcuType::k15m || type == EcuType::k15Rc ? EcuGroup::k15 : EcuGroup::k16;
}

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

// At key-on the ECU sends its code unasked: six bytes from the first 0x55 (a byte may come
// before it).
inline constexpr uint8_t kIsoCodeStart = 0x55;
inline constexpr int kIsoCodeLength = 6;

// The wake-up sequence, in the order it is sent.
inline constexpr std::array<uint8_t, 3> kWakeUpSequence = {0x0F, 0xAA, 0xCC};

// An identification text, one character per request, from `first` to `last`.
struct RequestRange {
  uint8_t first;
  uint8_t last;
  constexpr int size() const { return last - first + 1; }
};
inline constexpr RequestRange kEcuDataRequests = {0x17, 0x20};
inline constexpr RequestRange kCalibrationRequests = {0x21, 0x28};

// Into diagnostic mode for the actuator tests, and out of it again.
inline constexpr uint8_t kEnterDiagnosticRequest = 0xAA;
inline constexpr uint8_t kLeaveDiagnosticRequest = 0xFF;

// The actuator tests, as each family numbers them. Clearing the fault memory is one of them.
struct TestRequests {
  uint8_t fuel_pump;
  uint8_t injector_1;
  uint8_t injector_2;
  uint8_t rev_counter;
  uint8_t coil_1;
  uint8_t coil_2;
  uint8_t clear_faults;
};
inline constexpr TestRequests kTestRequests15 = {.fuel_pump = 0x80,
                                                 .injector_1 = 0x86,
                                                 .injector_2 = 0x87,
                                                 .rev_counter = 0x85,
                                                 .coil_1 = 0x81,
                                                 .coil_2 = 0x82,
                                                 .clear_faults = 0x83};
inline constexpr TestRequests kTestRequests16 = {.fuel_pump = 0x80,
                                                 .injector_1 = 0x81,
                                                 .injector_2 = 0x87,
                                                 .rev_counter = 0x86,
                                                 .coil_1 = 0x82,
                                                 .coil_2 = 0x83,
                                                 .clear_faults = 0x84};

// The fault memory, the same for every type: three places that each hold two bytes of fault
// bits and a byte of their directions (Uniram: the faults now; Cuneep and Unieep A: stored
// ones), and the status byte.
struct FaultPlaceRequests {
  uint8_t byte_1;
  uint8_t byte_2;
  uint8_t directions;
};
inline constexpr FaultPlaceRequests kUniramRequests = {0x0F, 0x10, 0x11};
inline constexpr FaultPlaceRequests kCuneepRequests = {0x16, 0x17, 0x18};
inline constexpr FaultPlaceRequests kUnieepARequests = {0x1D, 0x1E, 0x1F};
inline constexpr uint8_t kFaultStatusRequest = 0x15;

// The pauses the PC keeps before it sends: before a request, after the end of its previous
// byte; inside the wake-up, from the start of 0F to AA and of AA to CC, and from the start of
// CC to whatever follows.
inline constexpr int kRequestPauseMs = 8;
inline constexpr int kWakeUpGapMs = 110;
inline constexpr int kAfterWakeUpMs = 300;
// Once six key-on bytes are in, the rest of a longer code has this long to follow before the
// buffer is read.
inline constexpr int kKeyOnTailMs = 100;
// From reading the key-on bytes to the first wake-up byte: the ECU is done with its code
// before it is woken.
inline constexpr int kBeforeWakeUpMs = 600;
// Entering diagnostic mode: the line is left quiet before AA, which keeps a longer pause than
// a live request; the answer is looked for a little after AA, and its wait is that much
// longer in all. After a refusal the line is quiet again before FF goes out.
inline constexpr int kBeforeEnteringDiagnosticMs = 500;
inline constexpr int kEnterDiagnosticPauseMs = 28;
inline constexpr int kEnterDiagnosticSettleMs = 25;
inline constexpr int kAfterRefusedDiagnosticMs = 500;
// In diagnostic mode a test request keeps a longer pause than a live one.
inline constexpr int kTestRequestPauseMs = 50;
// How long the PC waits for an answer after its request before it gives up on it.
inline constexpr int kAnswerBoundMs = 2000;  // live data
inline constexpr int kFaultAnswerBoundMs = 2500;
inline constexpr int kIdentificationBoundMs = 3000;  // also for the bytes at key-on
inline constexpr int kTestAnswerBoundMs = 5000;      // entering diagnostic mode, a test's first
inline constexpr int kLeaveAnswerBoundMs = 3000;     // leaving diagnostic mode

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
    return {GroupOf(type) == EcuGroup::k16 ? request_16m_p8 : request, second_request};
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
