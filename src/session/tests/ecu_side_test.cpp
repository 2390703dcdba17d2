// The session against an ECU that does not behave: switched off and on while polled, slow to
// send its last key-on byte, and a computer too busy to keep the wake-up's timing.
#include <gtest/gtest.h>

#include <string>

#include "session/testing/sim_session.h"

namespace kline {
namespace {

using Rig = SimSession;

// Everything the ticked channels show came from the last step, and every one was answered.
bool Polling(const Rig& rig) {
  return !rig.panel.samples.empty() && rig.panel.samples.back().complete && rig.driver.cal_ask() &&
         rig.panel.port_message.empty();
}

// Off for a moment, as a mechanic does, or so long that the session gives up on the ECU it
// woke: either way it is woken again when it comes back, and polled as after a new Connect.
TEST(EcuRestart, TheSessionWakesTheEcuAgainWithoutAClick) {
  struct Case {
    EcuType type;
    int64_t off_ms;
    const char* said;  // part of the status while it waits for the ignition
  };
  const Case cases[] = {
      {EcuType::k15m, 2000, ""},
      {EcuType::k15Rc, 2000, ""},
      {EcuType::k16m, 2000, ""},
      {EcuType::k15m, kRestartSilenceMs + 5000, "Switch the ignition off and on"},
      {EcuType::k16m, kRestartSilenceMs + 5000, "Switch the ignition off and on"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(EcuTypeName(c.type)) + " off for " + std::to_string(c.off_ms));
    Rig rig(c.type);
    rig.Connect();
    rig.Run(8000);
    ASSERT_TRUE(Polling(rig));
    rig.line.SetIgnition(false);
    rig.Run(c.off_ms);
    if (c.off_ms > kRestartSilenceMs) {
      EXPECT_NE(rig.panel.port_message.find(c.said), std::string::npos) << rig.panel.port_message;
      EXPECT_EQ(rig.panel.status, "Wait for ignition..");
      for (int i = 0; i < kChannelCount; ++i) EXPECT_TRUE(rig.panel.stale[i]) << i;
    }
    rig.line.SetIgnition(true);
    // A 15Rc sends no key-on bytes: only the silence tells it restarted.
    rig.Run(c.type == EcuType::k15Rc ? kRestartSilenceMs + 8000 : 8000);
    EXPECT_TRUE(Polling(rig)) << rig.panel.port_message;
    EXPECT_TRUE(rig.line.InWorkingMode());
    EXPECT_NE(rig.panel.info.find("ecu data"), std::string::npos) << rig.panel.info;
    EXPECT_EQ(rig.SentCount(0xCC), 2);
  }
}

// A restart is told apart from an ECU that only answers late or sends a byte too many.
TEST(EcuRestart, ALateOrChattyEcuIsNotTakenForARestart) {
  Rig rig(EcuType::k15m);
  rig.Connect();
  rig.Run(8000);
  rig.line.InjectFault(sim::FaultKind::kExtraBytes, 3);
  rig.line.InjectFault(sim::FaultKind::kDropAnswer, 5);
  rig.Run(8000);
  EXPECT_TRUE(Polling(rig));
  EXPECT_EQ(rig.SentCount(0xCC), 1);
}

// The 7th key-on byte 150 ms after the 6th: the wake-up waits for it, then keeps its pauses.
TEST(EcuRestart, ALateLastKeyOnByteIsPartOfTheCode) {
  sim::Profile profile = sim::BuiltinProfile(EcuType::k15m);
  profile.iso_last_gap_ms = 150;
  Rig rig(EcuType::k15m, profile);
  rig.Connect();
  rig.Run(8000);
  EXPECT_EQ(rig.panel.info.substr(0, 27), "Iso Code    : 550F5A031122\r");
  EXPECT_TRUE(Polling(rig));
}

// A clock whose n-th sleep of the wake-up's gap runs long, as on a computer too busy.
class BusyClock : public Clock {
 public:
  explicit BusyClock(VirtualClock& base) : base_(base) {}
  int64_t NowUs() override { return base_.NowUs(); }
  void SleepUs(int64_t us) override {
    if (us == kWakeUpGapMs * 1000 && ++gaps_ == 1) us = 195'000;
    base_.SleepUs(us);
  }

 private:
  VirtualClock& base_;
  int gaps_ = 0;
};

TEST(EcuRestart, AWakeUpThatCouldNotKeepItsTimingSaysSo) {
  Rig rig(EcuType::k15m);
  BusyClock busy(rig.clock);
  KLinePort port(rig.line, busy);
  SessionDriver driver(port, rig.panel, rig.ini);
  rig.panel.connect_ticked = true;
  driver.OnConnectBox(true);
  while (!driver.init() && rig.clock.NowMs() < 5000) {
    rig.clock.SleepMs(rig.panel.timer());
    driver.Tick();
  }
  EXPECT_TRUE(driver.wake_up_late());
  EXPECT_NE(rig.panel.port_message.find("too busy to keep the wake-up's timing (AA went out 195 "
                                        "ms after 0F, 110 ms asked)"),
            std::string::npos)
      << rig.panel.port_message;
}

}  // namespace
}  // namespace kline
