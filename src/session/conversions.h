// How live-data bytes become the texts the main window shows, for every ECU type, and the
// ECU's single-byte characters as text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/ecu_type.h"

namespace kline {

// Air and coolant temperature of the P8 types, indexed by the data byte (0..256); entries
// 241 to 256 have no value.
using TempTable = std::array<std::optional<double>, 257>;
TempTable MakeP8TempTable();

// Fix(constant / period): 15000000 for 15m, 15Rc and 16m, 30000000 for P8. period > 0.
int64_t EngineSpeed(double constant, int period);
inline constexpr int kSpeedSegments = 120;

// Segments of the 120-segment bar to light for a speed text's value: speed / 100 rounded
// half to even, never more than the bar has.
int SpeedBarLitCount(int64_t rpm);

double InjectionTime(int period);  // ms
double IgnitionAdvance(int b);     // degrees
int64_t ManifoldPressure(int b);   // mbar
double Temperature(int b);         // degrees, 15m, 15Rc and 16m
double ThrottleAngle(int b);       // degrees
double BatteryVoltage(int b);      // volts
double TrimmerValue(int b);
// The value as a decimal of at most 12 significant digits. The conversions multiply a byte by
// a decimal constant (438 x 0.001), and the binary result carries noise in its last bits
// (0.43799999999999994) that no sensor of ours resolves; recordings and the tool's output
// then write the number a person expects.
double WithoutBinaryNoise(double value);

// What one live channel's answer bytes mean, for its field and for the recorder.
struct ChannelReading {
  std::optional<double> value;      // the number recorded; nullopt: none this step
  std::optional<std::string> text;  // the field's new text; nullopt: it keeps what it shows
};

// The decode half of a live step, per type: `hi` is the answer behind the echo of the
// channel's first request, `lo` behind its second (two-byte channels only); nullopt where
// none came. Texts use `separator` as the decimal point.
ChannelReading DecodeChannel(int channel, EcuType type, std::optional<uint8_t> hi,
                             std::optional<uint8_t> lo, const TempTable& p8_temps, char separator);

// An answer byte as the port writes it (two hexadecimal digits); nullopt for anything else,
// such as the empty or half answer a read that came up short leaves.
std::optional<int> HexByte(std::string_view text);

// The decimal separator of the user's locale ('.' when it is not a single ASCII character).
char UserDecimalSeparator();

// The character an ECU byte stands for in the single-byte Windows character set, as UTF-8.
std::string AnsiCharacter(uint8_t byte);

}  // namespace kline
