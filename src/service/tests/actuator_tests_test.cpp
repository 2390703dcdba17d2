#include "service/actuator_tests.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

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

TEST(ActuatorTestsTest, ButtonsPickRequestAndLogNameByType) {
  struct Case {
    std::string caption;
    std::optional<EcuType> type;
    std::optional<uint8_t> request;  // nullopt: nothing is sent
    std::string log_name;
  };
  const Case cases[] = {
      {"Fuel pump", std::nullopt, 0x80, "Fuel pump"},
      {"Injector 1", EcuType::k15Rc, 0x86, "Injector1"},
      {"Injector 1", EcuType::k16m, 0x81, "Injector1"},
      {"Injector 1", std::nullopt, std::nullopt, ""},
      {"Injector 2", std::nullopt, 0x87, "Injector2"},
      {"Rev counter", EcuType::k15m, 0x85, "Rev counter"},
      {"Rev counter", EcuType::kP8, 0x86, "rev counter"},
      {"Coil 1", EcuType::k15m, 0x81, "Coil1"},
      {"Coil 1", EcuType::kP8, 0x82, "Coil1"},
      {"Coil 2", EcuType::k15Rc, 0x82, "Coil2"},
      {"Coil 2", EcuType::k16m, 0x83, "Coil2"},
      {"Clear DTC errors", EcuType::k15m, 0x83, "Clear DTC"},
      {"Clear DTC errors", EcuType::kP8, 0x84, "Clear DTC"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption + " " + (c.type ? std::string(EcuTypeName(*c.type)) : "none"));
    Rig rig;
    rig.host.type = c.type;
    if (c.request) rig.line.Script(*c.request, {Arrival{10, {*c.request, 0xFF}}});
    rig.tests.Press(IndexOf(c.caption), "00");
    if (c.request) {
      EXPECT_THAT(rig.line.written(), ElementsAre(*c.request));
      EXPECT_THAT(rig.host.lines, ElementsAre(c.log_name, KLinePort::ToReplyHex({*c.request, 0xFF}),
                                              "Test finish"));
    } else {
      EXPECT_THAT(rig.line.written(), IsEmpty());
      EXPECT_THAT(rig.host.lines, IsEmpty());
    }
  }
}

// One or two hexadecimal digits (0x may come first) are the code; anything else, and the enter
// and leave requests (AA, FF), are refused with the reason before anything is sent.
TEST(ActuatorTestsTest, CustomCodeIsOneOrTwoHexDigits) {
  const std::string_view bad = kCustomCodeRangeLine;
  const std::tuple<std::string, std::optional<uint8_t>, std::string_view> cases[] = {
      {"8a", 0x8A, ""},
      {" 12 ", 0x12, ""},
      {"7", 0x07, ""},
      {"0x81", 0x81, ""},
      {"0X0f", 0x0F, ""},
      {"", std::nullopt, bad},
      {"zz", std::nullopt, bad},
      {"ZZ", std::nullopt, bad},
      {"8Z", std::nullopt, bad},
      {"-1", std::nullopt, bad},
      {"1FF", std::nullopt, bad},
      {"0x", std::nullopt, bad},
      {"0x181", std::nullopt, bad},
      {"8 a", std::nullopt, bad},
      {std::string(200, '9'), std::nullopt, bad},
      {"FF", std::nullopt, kCustomCodeLeaveLine},
      {"0xff", std::nullopt, kCustomCodeLeaveLine},
      {"aA", std::nullopt, kCustomCodeEnterLine},
  };
  for (const auto& [text, request, refusal] : cases) {
    SCOPED_TRACE("\"" + text + "\"");
    Rig rig;
    if (request) rig.line.Script(*request, {Arrival{10, {*request, 0xFF}}});
    rig.tests.Press(IndexOf("Custom code"), text);
    if (request) {
      EXPECT_THAT(rig.line.written(), ElementsAre(*request));
      EXPECT_EQ(rig.host.lines.at(0), "Custom code " + text);
    } else {
      EXPECT_THAT(rig.line.written(), IsEmpty());
      EXPECT_THAT(rig.host.lines, ElementsAre(refusal));
    }
  }
}

TEST(ActuatorTestsTest, OutcomesOfATest) {
  struct Case {
    std::string name;
    std::vector<Arrival> reply;  // to request 0x81
    std::vector<std::string> lines;
    int64_t min_ms, max_ms;
  };
  const Case cases[] = {
      {"done at once", {Arrival{20, {0x81, 0xFF}}}, {"Coil1", "81FF", "Test finish"}, 50, 200},
      // Bytes that are no verdict are shown and the wait goes on.
      {"finished later",
       {Arrival{20, {0x81, 0x00}}, Arrival{1500, {0x55}}, Arrival{2500, {0xFF}}},
       {"Coil1", "8100", "55", "FF", "Test finish"},
       3000,
       3200},
      // Bytes that arrive in the same pass are judged by the last one.
      {"finished in one pass with another byte",
       {Arrival{20, {0x81, 0x00}}, Arrival{1500, {0x00}}, Arrival{1600, {0xFF}}},
       {"Coil1", "8100", "00FF", "Test finish"},
       2000,
       2200},
      {"failed in one pass with another byte",
       {Arrival{20, {0x81, 0x00}}, Arrival{1500, {0x00, 0xEE}}},
       {"Coil1", "8100", "00EE", "Test failed"},
       2000,
       2200},
      {"other bytes only",
       {Arrival{20, {0x81, 0x00}}, Arrival{4000, {0x55}}},
       {"Coil1", "8100", "55"},
       30000,
       30200},
      {"nothing more",
       {Arrival{20, {0x81, 0x00}}},
       {"Coil1", "8100", "Test unknown"},
       30000,
       30200},
      {"no first reply", {}, {"Coil1", "No answer from ECU"}, 5050, 5100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.line.Script(0x81, c.reply);
    EXPECT_TRUE(rig.tests.RunActuatorTest(0x81, "Coil1", 30));
    EXPECT_THAT(rig.host.lines, ElementsAreArray(c.lines));
    EXPECT_GE(rig.clock.NowMs(), c.min_ms);
    EXPECT_LE(rig.clock.NowMs(), c.max_ms);
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
