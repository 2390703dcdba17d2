// The service logic against the simulated ECU: real line timing, echo and answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_windows.h"
#include "service/actuator_tests.h"
#include "service/fault_memory.h"
#include "sim/simulated_line.h"

namespace kline {
namespace {

using ::testing::ElementsAre;

// A P8 needs no wake-up: once its ignition is on it answers at the working rate.
struct SimRig : testing::Windows {
  explicit SimRig(sim::Profile profile) : line(clock, std::move(profile), 100) {
    port.Open("/dev/simulated");
    port.SetBaudRate(kWorkingBaud);
    clock.SleepMs(300);
  }

  VirtualClock clock;
  sim::SimulatedLine line;
  KLinePort port{line, clock};
};

sim::Profile P8WithTests() {
  sim::Profile profile = sim::BuiltinProfile(EcuType::kP8);
  profile.tests[0x80] = {.first = 0x00, .final_answer = 0xFF, .delay_ms = 4000};
  profile.tests[0x82] = {.first = 0x00, .final_answer = 0xEE, .delay_ms = 2000};
  profile.tests[0x87] = {.first = 0xFF, .final_answer = std::nullopt, .delay_ms = 0};
  return profile;
}

TEST(SimulatedEcuTest, ActuatorSessionFromEnteringToLeaving) {
  SimRig rig(P8WithTests());
  rig.host.type = EcuType::kP8;
  ActuatorTests tests(rig.port, rig.host);

  ASSERT_TRUE(tests.EnterDiagnosticMode());
  EXPECT_TRUE(rig.line.InDiagnosticMode());
  tests.Press(0, "00");  // fuel pump: a final answer after about four seconds
  tests.Press(4, "00");  // coil 1 on a P8 is 0x82: fails after about two seconds
  tests.Press(2, "00");  // injector 2: done at once
  tests.Back();

  EXPECT_THAT(rig.host.lines,
              ElementsAre("Enter in diagnostic mode OK", "Fuel pump", "8000", "FF", "Test finish",
                          "Coil1", "8200", "EE", "Test failed", "Injector2", "87FF", "Test finish",
                          "Exit diagnostic mode OK"));
  EXPECT_FALSE(rig.line.InDiagnosticMode());
  EXPECT_EQ(rig.host.bar_values.back(), 0.0f);
  EXPECT_THAT(rig.host.timer_calls, ElementsAre(20));
  EXPECT_EQ(rig.host.closes, 1);
}

struct FaultCase {
  std::string name;
  std::optional<sim::FaultKind> fault;
  int arg;
};

TEST(SimulatedEcuTest, EnteringDiagnosticMode) {
  struct Case : FaultCase {
    uint8_t enter_answer;
    bool port_open;
    bool entered;
  };
  const Case cases[] = {
      {{"answer FF", std::nullopt, 0}, 0xFF, true, true},
      {{"answer AA", std::nullopt, 0}, 0xAA, true, true},
      {{"extra byte", sim::FaultKind::kExtraBytes, 1}, 0xFF, true, false},
      {{"wrong answer", sim::FaultKind::kGarbage, 0}, 0xFF, true, false},
      {{"silent", sim::FaultKind::kSilent, 0}, 0xFF, true, false},
      {{"port closed", std::nullopt, 0}, 0xFF, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Profile profile = sim::BuiltinProfile(EcuType::kP8);
    profile.diag_enter_answer = c.enter_answer;
    SimRig rig(profile);
    if (c.fault) rig.line.InjectFault(*c.fault, c.arg);
    if (!c.port_open) rig.port.Close();
    ActuatorTests tests(rig.port, rig.host);
    EXPECT_EQ(tests.EnterDiagnosticMode(), c.entered);
    if (c.entered) {
      EXPECT_THAT(rig.host.lines, ElementsAre("Enter in diagnostic mode OK"));
      EXPECT_THAT(rig.host.timer_calls, ElementsAre());
      EXPECT_EQ(rig.host.closes, 0);
    } else {
      // The window closes itself through "Back", and the main window says why.
      EXPECT_THAT(rig.host.status, ElementsAre(std::string(kNoDiagnosticModeMessage)));
      EXPECT_THAT(rig.host.timer_calls, ElementsAre(20));
      EXPECT_EQ(rig.host.shows, 1);
      EXPECT_EQ(rig.host.closes, 1);
    }
  }
}

// Without a valid answer both kinds of button say so once and decode nothing: an every-bit
// button must not print its clear texts as if the byte were 0x00.
TEST(SimulatedEcuTest, FaultReadsWithoutAValidAnswer) {
  struct Case : FaultCase {
    int64_t min_ms, max_ms;
  };
  const Case cases[] = {
      {{"silent", sim::FaultKind::kSilent, 0}, 2508, 2518},
      {{"late answer", sim::FaultKind::kLateAnswer, 2600}, 2508, 2518},
      {{"no echo", sim::FaultKind::kNoEcho, 0}, 2508, 2518},
      {{"cable pulled", sim::FaultKind::kCablePulled, 0}, 0, 0},
  };
  for (const Case& c : cases) {
    for (int button : {0, 2}) {
      SCOPED_TRACE(c.name + " " + std::string(kFaultButtons[button].caption));
      SimRig rig(sim::BuiltinProfile(EcuType::kP8));
      rig.line.InjectFault(*c.fault, c.arg);
      FaultMemory memory(rig.port, rig.host);
      const int64_t start = rig.clock.NowMs();
      memory.Press(kFaultButtons[button]);
      // A pulled cable is said as such: no answer can come any more.
      EXPECT_THAT(
          rig.host.lines,
          ElementsAre(c.fault == sim::FaultKind::kCablePulled ? kPortLostLine : kNoAnswerLine));
      EXPECT_THAT(rig.host.verdicts,
                  ElementsAre(c.fault == sim::FaultKind::kCablePulled ? ServiceVerdict::kPortLost
                                                                      : ServiceVerdict::kNoAnswer));
      EXPECT_GE(rig.clock.NowMs() - start, c.min_ms);
      EXPECT_LE(rig.clock.NowMs() - start, c.max_ms);
    }
  }
}

}  // namespace
}  // namespace kline
