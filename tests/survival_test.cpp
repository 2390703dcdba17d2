// What a bad cable or a confused ECU does to a session on virtual time: nothing crashes, no
// tick blocks past the bounds of its waits, and "Connect" again brings the session back.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>

#include "link/kline_port.h"
#include "service/actuator_tests.h"
#include "service/fault_memory.h"
#include "service/tests/fake_windows.h"
#include "session/session_driver.h"
#include "session/testing/sim_session.h"
#include "sim/simulated_line.h"

namespace kline {
namespace {

using sim::FaultKind;

// The longest a tick may block: a wake-up (3 s for the identification bytes, 1.2 s of
// pauses), one time-out each for the two texts, and one for a live step.
constexpr int64_t kTickBoundMs = 3000 + 1230 + 3010 + 3010 + 2010 + 200;

using Rig = SimSession;

// Virtual time that pulls the cable once it passes a given moment: a pull in the middle of
// a wait, where no event processing would give a test the chance.
class PullingClock : public Clock {
 public:
  PullingClock(VirtualClock& time, sim::SimulatedLine& line, int64_t pull_at_us)
      : time_(time), line_(line), pull_at_us_(pull_at_us) {}
  int64_t NowUs() override { return time_.NowUs(); }
  void SleepUs(int64_t us) override {
    time_.SleepUs(us);
    if (time_.NowUs() >= pull_at_us_ && !line_.WasLost()) line_.PullCable();
  }

 private:
  VirtualClock& time_;
  sim::SimulatedLine& line_;
  int64_t pull_at_us_;
};

bool Polling(const Rig& rig) { return rig.driver.cal_ask() && !rig.panel.ValueText(7).empty(); }

// The port handed back after a service routine met a pulled cable: the session notices.
void ExpectLossNoticed(Rig& rig) {
  rig.driver.ReturnPort(20);
  rig.Run(100);
  EXPECT_EQ(rig.panel.indicator, kIndicatorRed);
  EXPECT_FALSE(rig.panel.connect_ticked);
  EXPECT_NE(rig.panel.port_message, "");
}

TEST(Survival, LineFaultsDuringASessionAreBoundedAndRecoverable) {
  const std::tuple<const char*, std::function<void(Rig&)>, int64_t> cases[] = {
      {"garbage answers", [](Rig& r) { r.line.InjectFault(FaultKind::kGarbage); }, 6000},
      {"extra bytes", [](Rig& r) { r.line.InjectFault(FaultKind::kExtraBytes, 3); }, 6000},
      {"stray bytes while identifying", [](Rig& r) { r.line.InjectFault(FaultKind::kStrayByte); },
       900},
      {"late answers", [](Rig& r) { r.line.InjectFault(FaultKind::kLateAnswer, 2500); }, 6000},
      {"no echo", [](Rig& r) { r.line.InjectFault(FaultKind::kNoEcho); }, 6000},
      {"ignition off while polling", [](Rig& r) { r.line.SetIgnition(false); }, 6000},
      {"ignition off while waking", [](Rig& r) { r.line.SetIgnition(false); }, 700},
  };
  for (const auto& [name, fault, after_ms] : cases) {
    SCOPED_TRACE(name);
    Rig rig(EcuType::k15m);
    rig.Connect();
    rig.Run(after_ms);
    fault(rig);
    EXPECT_LE(rig.Run(20000), kTickBoundMs);
    EXPECT_TRUE(rig.port.IsOpen());

    // The user unplugs nothing: Disconnect, then Connect again, with the ECU healthy.
    rig.line.ClearFaults();
    rig.panel.connect_ticked = false;
    rig.driver.OnConnectBox(false);
    rig.Connect();
    rig.Run(8000);
    EXPECT_TRUE(Polling(rig));
  }
}

TEST(Survival, EcuAtTheWrongRateNeverAnswersButNeverHangs) {
  sim::Profile profile = sim::BuiltinProfile(EcuType::k15m);
  profile.working_baud = 1200;  // the PC switches to 7812 after the wake-up; the ECU does not
  Rig rig(EcuType::k15m, profile);
  rig.Connect();
  EXPECT_LE(rig.Run(15000), kTickBoundMs);
  EXPECT_TRUE(rig.driver.cal_ask());
  EXPECT_EQ(rig.panel.info.find("ecu data"), std::string::npos);
  for (int i = 0; i < kChannelCount; ++i) EXPECT_EQ(rig.panel.ValueText(i), "") << i;
}

// The service routines with the cable pulled in the middle: they end within their bounds,
// say there was no answer, and hand the port back; the session then notices the loss.
TEST(Survival, CablePulledBetweenServiceRequests) {
  Rig rig(EcuType::k15m);
  rig.Connect();
  rig.Run(6000);
  ASSERT_TRUE(Polling(rig));
  testing::Windows around;
  rig.driver.LendPort();

  ActuatorTests tests(rig.port, around.host);
  ASSERT_TRUE(tests.EnterDiagnosticMode());
  rig.line.SetAnswer(0x80, 0x00);  // the pump runs; its final answer never comes
  rig.clock.SleepMs(100);
  const int64_t start = rig.clock.NowMs();
  rig.line.PullCable();
  tests.Press(0, "");
  EXPECT_LE(rig.clock.NowMs() - start, 50 + 5000 + 36 * 1010);
  tests.Back();
  EXPECT_EQ(around.host.closes, 1);
  EXPECT_EQ(around.host.timer_calls.back(), 20);

  FaultMemory faults(rig.port, around.host);
  const int64_t read_start = rig.clock.NowMs();
  faults.Press(kFaultButtons[0]);
  EXPECT_LE(rig.clock.NowMs() - read_start, 2510);
  EXPECT_EQ(around.host.lines.back(), std::string(kPortLostLine));
  ExpectLossNoticed(rig);

  rig.line.ClearFaults();
  rig.Connect();
  rig.Run(8000);
  EXPECT_TRUE(Polling(rig));
}

TEST(Survival, CablePulledInsideAFaultRead) {
  Rig rig(EcuType::k15m);
  rig.Connect();
  rig.Run(6000);
  rig.driver.LendPort();
  rig.line.InjectFault(FaultKind::kLateAnswer, 2000);
  PullingClock clock(rig.clock, rig.line, rig.clock.NowUs() + 500'000);
  KLinePort port(rig.line, clock);
  testing::Windows around;
  FaultMemory faults(port, around.host);
  const int64_t start = rig.clock.NowMs();
  faults.Press(kFaultButtons[3]);
  EXPECT_LT(rig.clock.NowMs() - start, 600) << "a vanished port ends the wait at once";
  EXPECT_EQ(around.host.lines, std::vector<std::string>{std::string(kPortLostLine)});
  faults.Back();
  ExpectLossNoticed(rig);
}

}  // namespace
}  // namespace kline
