#include "service/actuator_tests.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "fake_windows.h"

namespace kline {
namespace {

using testing::Arrival;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

int IndexOf(std::string_view caption) {
  return static_cast<int>(
      std::find_if(kActuatorTests.begin(), kActuatorTests.end(),
                   [&](const ActuatorTestRow& r) { return r.caption == caption; }) -
      kActuatorTests.begin());
}

struct Rig : testing::Bench {
  ActuatorTests tests{port, host};
};

// A fixed test asks the same for every type; the others pick by the type's group (15m and 15RC,
// 16m and P8), and without a type nothing is sent.
TEST(ActuatorTestsTest, ButtonsPickRequestAndLogNameByType) {
  using Case = std::tuple<std::string, std::optional<EcuType>, std::optional<uint8_t>, std::string>;
  const Case cases[] = {{"Fuel pump", std::nullopt, 0x80, "Fuel pump"},
                        {"Injector 1", EcuType::k15Rc, 0x86, "Injector1"},
                        {"Injector 1", EcuType::k16m, 0x81, "Injector1"},
                        {"Injector 1", std::nullopt, std::nullopt, ""},
                        {"Rev counter", EcuType::k15m, 0x85, "Rev counter"},
                        {"Rev counter", EcuType::kP8, 0x86, "rev counter"}};
  for (const auto& [caption, type, request, log_name] : cases) {
    SCOPED_TRACE(caption + " " + (type ? std::string(EcuTypeName(*type)) : "none"));
    Rig rig;
    rig.host.type = type;
    if (request) rig.line.Script(*request, {Arrival{10, {*request, 0xFF}}});
    rig.tests.Press(IndexOf(caption), "00");
    if (request) {
      EXPECT_THAT(rig.line.written(), ElementsAre(*request));
      EXPECT_THAT(rig.host.lines,
                  ElementsAre(log_name, KLinePort::ToReplyHex({*request, 0xFF}), "Test finish"));
    } else {
      EXPECT_THAT(rig.line.written(), IsEmpty());
      EXPECT_THAT(rig.host.lines, IsEmpty());
    }
  }
}

// One or two hexadecimal digits (0x may come first) are the code; anything else, and the enter
// and leave requests (AA, FF), are refused with the reason before anything is sent.
TEST(ActuatorTestsTest, CustomCodeIsOneOrTwoHexDigits) {
  const std::pair<std::string, uint8_t> taken[] = {
      {"8a", 0x8A}, {" 12 ", 0x12}, {"7", 0x07}, {"0x81", 0x81}, {"0X0f", 0x0F}};
  for (const auto& [text, request] : taken) {
    Rig rig;
    rig.line.Script(request, {Arrival{10, {request, 0xFF}}});
    rig.tests.Press(IndexOf("Custom code"), text);
    EXPECT_THAT(rig.line.written(), ElementsAre(request)) << text;
    EXPECT_EQ(rig.host.lines.at(0), "Custom code " + text);
  }
  std::vector<std::pair<std::string, std::string_view>> refused = {
      {"FF", kCustomCodeLeaveLine}, {"0xff", kCustomCodeLeaveLine}, {"aA", kCustomCodeEnterLine}};
  for (std::string text : {"", "zz", "8Z", "-1", "1FF", "0x", "0x181", "8 a"}) {
    refused.emplace_back(text, kCustomCodeRangeLine);
  }
  refused.emplace_back(std::string(200, '9'), kCustomCodeRangeLine);
  for (const auto& [text, refusal] : refused) {
    Rig rig;
    rig.tests.Press(IndexOf("Custom code"), text);
    EXPECT_THAT(rig.line.written(), IsEmpty()) << text;
    EXPECT_THAT(rig.host.lines, ElementsAre(refusal)) << text;
    EXPECT_THAT(rig.host.verdicts, ElementsAre(ServiceVerdict::kRefused)) << text;
  }
}

TEST(ActuatorTestsTest, OutcomesOfATest) {
  using V = ServiceVerdict;
  using Case =
      std::tuple<std::string, std::vector<Arrival>, std::vector<std::string>, V, int64_t, int64_t>;
  const Case cases[] = {
      {"done at once",
       {Arrival{20, {0x81, 0xFF}}},
       {"Coil1", "81FF", "Test finish"},
       V::kDone,
       50,
       200},
      // Bytes that are no verdict are shown and the wait goes on.
      {"finished later",
       {Arrival{20, {0x81, 0x00}}, Arrival{1500, {0x55}}, Arrival{2500, {0xFF}}},
       {"Coil1", "8100", "55", "FF", "Test finish"},
       V::kDone,
       3000,
       3200},
      // Bytes that arrive in the same pass are judged by the last one.
      {"finished in one pass with another byte",
       {Arrival{20, {0x81, 0x00}}, Arrival{1500, {0x00}}, Arrival{1600, {0xFF}}},
       {"Coil1", "8100", "00FF", "Test finish"},
       V::kDone,
       2000,
       2200},
      {"failed in one pass with another byte",
       {Arrival{20, {0x81, 0x00}}, Arrival{1500, {0x00, 0xEE}}},
       {"Coil1", "8100", "00EE", "Test failed"},
       V::kFailed,
       2000,
       2200},
      {"other bytes only",
       {Arrival{20, {0x81, 0x00}}, Arrival{4000, {0x55}}},
       {"Coil1", "8100", "55"},
       V::kUnknown,
       30000,
       30200},
      {"nothing more",
       {Arrival{20, {0x81, 0x00}}},
       {"Coil1", "8100", "Test unknown"},
       V::kUnknown,
       30000,
       30200},
      {"no first reply", {}, {"Coil1", "No answer from ECU"}, V::kNoAnswer, 5050, 5100},
  };
  for (const auto& [name, reply, lines, verdict, min_ms, max_ms] : cases) {
    SCOPED_TRACE(name);
    Rig rig;
    rig.line.Script(0x81, reply);
    EXPECT_TRUE(rig.tests.RunActuatorTest(0x81, "Coil1", 30));
    EXPECT_THAT(rig.host.lines, ElementsAreArray(lines));
    EXPECT_THAT(rig.host.verdicts, ElementsAre(verdict));
    EXPECT_GE(rig.clock.NowMs(), min_ms);
    EXPECT_LE(rig.clock.NowMs(), max_ms);
    EXPECT_EQ(rig.host.bar_values.back(), 0.0f);  // the bar is at rest afterwards
  }
}

TEST(ActuatorTestsTest, ProgressBarCountsPassesUpToTheDuration) {
  Rig rig;
  rig.line.Script(0x80, {Arrival{20, {0x80, 0x00}}});
  rig.tests.RunActuatorTest(0x80, "Fuel pump", 36);
  EXPECT_EQ(rig.host.bar_maximum, 36.0f);
  std::vector<float> expected(38);
  for (int i = 1; i <= 36; ++i) expected[i] = static_cast<float>(i);
  EXPECT_THAT(rig.host.bar_values, ElementsAreArray(expected));  // 0, 1 .. 36, 0
  EXPECT_EQ(rig.host.event_runs, 37);  // once before the request, once per pass
}

// Leaving is confirmed by "FFFF"; without it the main window's status bar says the ECU may
// still be in diagnostic mode.
TEST(ActuatorTestsTest, BackLeavesDiagnosticModeOnce) {
  for (bool answered : {true, false}) {
    Rig rig;
    rig.line.Script(0xAA, {Arrival{10, {0xAA, 0xFF}}});
    if (answered) rig.line.Script(0xFF, {Arrival{10, {0xFF, 0xFF}}});
    ASSERT_TRUE(rig.tests.EnterDiagnosticMode());
    rig.tests.Back();
    rig.tests.Back();
    EXPECT_TRUE(rig.tests.OnCloseBox());  // the close event after the window's own close
    rig.tests.Press(IndexOf("Fuel pump"), "00");
    EXPECT_THAT(rig.line.written(), ElementsAre(0xAA, 0xFF));
    EXPECT_EQ(rig.host.lines.back(),
              answered ? "Exit diagnostic mode OK" : "Enter in diagnostic mode OK");
    EXPECT_EQ(rig.host.status,
              answered ? std::vector<std::string>{}
                       : std::vector<std::string>{std::string(kStillInDiagnosticModeMessage)});
    EXPECT_THAT(rig.host.timer_calls, ElementsAre(20));
    EXPECT_EQ(rig.host.shows, 1);
    EXPECT_EQ(rig.host.closes, 1);
  }
}

// "Back" or the close box during a test's wait: the test stops at its next pass, then the
// port goes back and the window closes.
TEST(ActuatorTestsTest, LeavingDuringATestWaitsForItToStop) {
  for (bool close_box : {false, true}) {
    SCOPED_TRACE(close_box ? "close box" : "back");
    Rig rig;
    rig.host.on_events = [&] {
      if (rig.host.event_runs != 3) return;
      if (close_box) {
        EXPECT_FALSE(rig.tests.OnCloseBox());
      } else {
        rig.tests.Back();
      }
      EXPECT_THAT(rig.line.written(), ElementsAre(0x80));
    };
    rig.line.Script(0x80, {Arrival{20, {0x80, 0x00}}});
    rig.line.Script(0xFF, {Arrival{10, {0xFF, 0xFF}}});
    rig.tests.RunActuatorTest(0x80, "Fuel pump", 36);
    EXPECT_THAT(rig.host.lines, ElementsAre("Fuel pump", "8000", "Exit diagnostic mode OK"));
    EXPECT_EQ(rig.host.bar_values.back(), 0.0f);
    EXPECT_LT(rig.clock.NowMs(), 3000);
    EXPECT_THAT(rig.host.timer_calls, ElementsAre(20));
    EXPECT_EQ(rig.host.closes, 1);
  }
}

}  // namespace
}  // namespace kline
