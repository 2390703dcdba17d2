#include "session/conversions.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <string>

#include "link/numbers.h"
#include "link/protocol.h"

namespace kline {
namespace {

TEST(P8TempTable, FallsByItsRunsAndEndsWithoutValues) {
  const TempTable table = MakeP8TempTable();
  const std::pair<int, const char*> samples[] = {
      {0, "125."},   {32, "125."},   {33, "122.1"},  {48, "78.6"},  {64, "59.2"},  {80, "47.5"},
      {96, "37.9"},  {100, "35.8"},  {112, "29.5"},  {128, "22."},  {144, "14."},  {160, "6.2"},
      {176, "-1.8"}, {192, "-11.8"}, {208, "-28.7"}, {224, "-55."}, {232, "-55."}, {240, "-55."}};
  for (const auto& [index, text] : samples) {
    ASSERT_TRUE(table[index].has_value()) << index;
    EXPECT_EQ(TwoDecimals(*table[index]), text) << index;
  }
  for (int i = 241; i <= 256; ++i) EXPECT_FALSE(table[i].has_value()) << i;
  for (int i = 1; i <= 240; ++i) EXPECT_LE(*table[i], *table[i - 1] + 1e-9) << i;
}

TEST(Conversions, ChannelFormulasGiveTheDisplayedTexts) {
  const std::pair<std::string, std::string> cases[] = {
      {PlainNumber(static_cast<double>(EngineSpeed(15000000, 4863))), "3084"},
      {PlainNumber(static_cast<double>(EngineSpeed(30000000, 65535))), "457"},
      {PlainNumber(InjectionTime(1500)), "3"},
      {PlainNumber(InjectionTime(1234)), "2.468"},
      {PlainNumber(IgnitionAdvance(0x19)), "12.5"},
      {PlainNumber(IgnitionAdvance(0xFF)), "127.5"},
      {PlainNumber(static_cast<double>(ManifoldPressure(0x80))), "612"},
      {PlainNumber(static_cast<double>(ManifoldPressure(0xFF))), "1099"},
      {PlainNumber(Temperature(0x55)), "30"},
      {PlainNumber(BatteryVoltage(0xFF)), "15.9375"},
      {PlainNumber(TrimmerValue(0x70)), "-16"},
      {TwoDecimals(ThrottleAngle(171)), "30.69"},
      {TwoDecimals(ThrottleAngle(255)), "89.98"},
      {TwoDecimals(ThrottleAngle(0)), "-1.41"},
      {TwoDecimals(ThrottleAngle(8)), ".07"},
  };
  for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
}

// What the recordings and the tool write: the decimal a person expects, never the binary noise
// of the product, and every value a conversion can give keeps its digits.
TEST(Conversions, ValuesLoseTheirBinaryNoiseOnly) {
  const std::pair<double, double> cases[] = {{438 * 0.001, 0.438},
                                             {44.807799999999986, 44.8078},
                                             {0.1 + 0.2, 0.3},
                                             {1250, 1250},
                                             {-16.25, -16.25},
                                             {14.1875, 14.1875},
                                             {30.009999999999998, 30.01},
                                             {0, 0}};
  for (const auto& [noisy, expected] : cases) EXPECT_EQ(WithoutBinaryNoise(noisy), expected);
  for (int b = 0; b < 256; ++b) {
    for (double value : {InjectionTime(b * 256 + b), IgnitionAdvance(b), Temperature(b),
                         ThrottleAngle(b), BatteryVoltage(b), TrimmerValue(b)}) {
      EXPECT_NEAR(WithoutBinaryNoise(value), value, std::abs(value) * 1e-11) << b;
    }
  }
}

// Over every byte of every single-byte channel, for every type: "FF" is no value except on a
// P8 and for the trimmer, a P8 temperature past its table has none, and otherwise the field
// shows the number recorded.
TEST(DecodeChannel, EveryByteOfEverySingleByteChannel) {
  const TempTable p8_temps = MakeP8TempTable();
  for (EcuType type : kAllEcuTypes) {
    const bool p8 = type == EcuType::kP8;
    for (int channel = 2; channel < kChannelCount; ++channel) {
      const Conversion conversion = kChannelColumns[static_cast<size_t>(channel)].conversion;
      EXPECT_FALSE(DecodeChannel(channel, type, std::nullopt, std::nullopt, p8_temps, '.').text);
      for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(std::string(EcuTypeName(type)) + " channel " + std::to_string(channel) +
                     " byte " + std::to_string(b));
        const ChannelReading reading =
            DecodeChannel(channel, type, static_cast<uint8_t>(b), std::nullopt, p8_temps, ',');
        const bool shown = (p8 || b != 0xFF || conversion == Conversion::kTrimmer) &&
                           !(p8 && conversion == Conversion::kTemperature && b > 240);
        ASSERT_EQ(reading.text.has_value(), shown);
        ASSERT_EQ(reading.value.has_value(), shown);
        if (!shown) continue;
        std::string text = *reading.text;
        std::replace(text.begin(), text.end(), ',', '.');
        EXPECT_NEAR(std::stod(text), *reading.value, 0.0051) << *reading.text;
      }
    }
  }
}

// Two-byte channels: a period, with "FF FF" and "00 00" and a "00" on a P8 read apart.
TEST(DecodeChannel, SpeedAndInjectionPairs) {
  const TempTable p8_temps = MakeP8TempTable();
  struct Case {
    int channel;
    EcuType type;
    std::optional<uint8_t> hi, lo;
    std::optional<std::string> text;
    std::optional<double> value;
  };
  const Case cases[] = {
      {0, EcuType::kP8, 0xFF, 0xFF, " ----", std::nullopt},
      {0, EcuType::kP8, 0x00, 0x00, " 0", 0},
      {0, EcuType::k15m, 0x00, 0x05, "3000000", 3000000},
      {0, EcuType::kP8, 0x00, 0x05, std::nullopt, std::nullopt},
      {0, EcuType::k15m, 0xFF, 0x05, std::nullopt, std::nullopt},
      {0, EcuType::kP8, 0xFF, 0x05, "459", 459},
      {0, EcuType::k15m, 0x2E, std::nullopt, std::nullopt, std::nullopt},
      {1, EcuType::k15Rc, 0xFF, 0x00, std::nullopt, std::nullopt},
      {1, EcuType::kP8, 0xFF, 0x00, "130.56", 130.56},
      {1, EcuType::k16m, 0x05, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    const ChannelReading reading = DecodeChannel(c.channel, c.type, c.hi, c.lo, p8_temps, '.');
    EXPECT_EQ(reading.text, c.text) << c.channel << " " << EcuTypeName(c.type);
    EXPECT_EQ(reading.value, c.value) << c.channel << " " << EcuTypeName(c.type);
  }
}

TEST(SpeedBar, HalfToEvenAndNeverPastTheLastSegment) {
  const std::pair<int64_t, int> cases[] = {{1250, 12},   {1350, 14},   {1260, 13},     {0, 0},
                                           {11949, 119}, {11950, 120}, {15000000, 120}};
  for (const auto& [rpm, lit] : cases) EXPECT_EQ(SpeedBarLitCount(rpm), lit) << rpm;
}

TEST(AnsiCharacter, WindowsSingleByteSet) {
  EXPECT_EQ(AnsiCharacter(0x41), "A");
  EXPECT_EQ(AnsiCharacter(0xE9), "\xc3\xa9");      // e acute
  EXPECT_EQ(AnsiCharacter(0x80), "\xe2\x82\xac");  // euro sign
  EXPECT_EQ(AnsiCharacter(0x81), "\xc2\x81");      // unused code: kept as itself
  EXPECT_EQ(AnsiCharacter(0x00), std::string(1, '\0'));
}

TEST(UserDecimalSeparator, FollowsTheLocale) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
  EXPECT_EQ(UserDecimalSeparator(), ',');
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(UserDecimalSeparator(), '.');
  QLocale::setDefault(saved);
}

}  // namespace
}  // namespace kline
