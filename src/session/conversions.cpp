#include "session/conversions.h"

#include <QLocale>
#include <charconv>
#include <cmath>

#include "link/numbers.h"
#include "link/protocol.h"

namespace kline {

TempTable MakeP8TempTable() {
  // Runs of 16 entries from 33 to 224, each falling by its step from the one before.
  static constexpr double kSteps[12] = {2.9, 1.2125, 0.73125, 0.6,   0.525,   0.46875,
                                        0.5, 0.4875, 0.5,     0.625, 1.05625, 1.64375};
  TempTable table{};
  for (int i = 0; i <= 32; ++i) table[i] = 125.0;
  for (int i = 33; i <= 224; ++i) table[i] = *table[i - 1] - kSteps[(i - 33) / 16];
  for (int i = 225; i <= 240; ++i) table[i] = -55.0;
  return table;
}

int64_t EngineSpeed(double constant, int period) {
  return static_cast<int64_t>(std::trunc(constant / period));
}

int SpeedBarLitCount(int64_t rpm) {
  const int64_t k = RoundHalfEven(static_cast<double>(rpm) / 100.0);
  if (k < 0) return 0;
  return k > kSpeedSegments ? kSpeedSegments : static_cast<int>(k);
}

double InjectionTime(int period) { return 2.0 * period / 1000.0; }
double IgnitionAdvance(int b) { return b / 2.0; }
int64_t ManifoldPressure(int b) {
  return static_cast<int64_t>(std::trunc((b * 2.8758 + 91) * 1.33322));
}
double Temperature(int b) { return b - 55.0; }
double ThrottleAngle(int b) { return b <= 170 ? b * 0.1848 - 1.41 : b * 0.7058 - 90; }
double BatteryVoltage(int b) { return b * 0.0625; }

namespace {

// Engine speed: "FF FF" is no value (the engine stands), "00 00" is a stopped engine; any
// other pair is a period. A "00" byte never divides: the P8 rule, which also spares the
// others a zero period.
ChannelReading DecodeSpeed(bool p8, std::optional<uint8_t> hi, std::optional<uint8_t> lo,
                           char separator) {
  if (!hi || !lo) return {};
  if (*hi == 0xFF && *lo == 0xFF) return {std::nullopt, " ----"};
  if (*hi == 0x00 && *lo == 0x00) return {0.0, " 0"};
  const bool usable = p8 ? *hi != 0x00 && *lo != 0x00 : *hi != 0xFF;
  if (!usable) return {};
  const double rpm =
      static_cast<double>(EngineSpeed(p8 ? 30000000.0 : 15000000.0, *hi * 256 + *lo));
  return {rpm, PlainNumber(rpm, separator)};
}

}  // namespace

ChannelReading DecodeChannel(int channel, EcuType type, std::optional<uint8_t> hi,
                             std::optional<uint8_t> lo, const TempTable& p8_temps, char separator) {
  // 15m, 15Rc and 16m answer "FF" for no value; P8 takes every byte as a value and reads its
  // temperatures from a table.
  const bool p8 = type == EcuType::kP8;
  const Conversion conversion = kChannelColumns.at(static_cast<size_t>(channel)).conversion;
  if (conversion == Conversion::kEngineSpeed) return DecodeSpeed(p8, hi, lo, separator);
  if (!hi) return {};
  if (conversion == Conversion::kInjectionTime) {
    if (!lo || (!p8 && *hi == 0xFF)) return {};
  } else if (conversion != Conversion::kTrimmer && !p8 && *hi == 0xFF) {
    return {};
  }
  std::optional<double> value;
  bool hundredths = false;
  switch (conversion) {
    case Conversion::kEngineSpeed:
      break;
    case Conversion::kInjectionTime:
      value = InjectionTime(*hi * 256 + *lo);
      break;
    case Conversion::kTrimmer:
      value = TrimmerValue(*hi);
      break;
    case Conversion::kIgnitionAdvance:
      value = IgnitionAdvance(*hi);
      break;
    case Conversion::kManifoldPressure:
      value = static_cast<double>(ManifoldPressure(*hi));
      break;
    case Conversion::kTemperature:
      value = p8 ? p8_temps[*hi] : std::optional<double>(Temperature(*hi));
      hundredths = p8;
      break;
    case Conversion::kThrottleAngle:
      value = ThrottleAngle(*hi);
      hundredths = true;
      break;
    case Conversion::kBatteryVoltage:
      value = BatteryVoltage(*hi);
      break;
  }
  if (!value) return {};
  return {WithoutBinaryNoise(*value),
          hundredths ? TwoDecimals(*value, separator) : PlainNumber(*value, separator)};
}
double TrimmerValue(int b) { return b - 128.0; }

std::optional<int> HexByte(std::string_view text) {
  int value = 0;
  if (text.size() != 2) return std::nullopt;
  for (char c : text) {
    const bool digit = c >= '0' && c <= '9';
    if (!digit && !(c >= 'A' && c <= 'F')) return std::nullopt;
    value = value * 16 + (digit ? c - '0' : c - 'A' + 10);
  }
  return value;
}

char UserDecimalSeparator() {
  const QString point = QLocale().decimalPoint();
  return point.size() == 1 && point.at(0).unicode() < 0x80 ? point.at(0).toLatin1() : '.';
}

std::string AnsiCharacter(uint8_t byte) {
  // 0x80..0x9F are where the Windows set differs from Latin-1; 0 marks an unused code,
  // shown as the Latin-1 control character it would otherwise be.
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  char32_t code = byte;
  if (byte >= 0x80 && byte <= 0x9F && kHigh[byte - 0x80] != 0) code = kHigh[byte - 0x80];
  std::string out;
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
  return out;
}

double WithoutBinaryNoise(double value) {
  if (!std::isfinite(value)) return value;
  char buffer[32];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 12);
  double tidy = value;
  std::from_chars(buffer, written.ptr, tidy);
  return tidy;
}

}  // namespace kline
