// A session recorded through the simulator and replayed from its trace shows the same
// identification and live values, and the replay never departs from the recording.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/ini_file.h"
#include "link/kline_port.h"
#include "session/session_driver.h"
#include "session/testing/fake_panel.h"
#include "sim/replay_ecu.h"
#include "sim/simulated_line.h"

namespace kline::sim {
namespace {

struct Shown {
  std::string info;
  std::vector<std::array<std::optional<double>, kChannelCount>> values;
};

// Connects, lets the session run as the window would, and disconnects.
Shown RunSession(EcuType type, VirtualClock& clock, SimulatedLine& line) {
  IniText ini;
  KLinePort port{line, clock};
  FakePanel panel;
  panel.type = type;
  SessionDriver driver{port, panel, ini};
  driver.SetDecimalSeparator('.');
  panel.connect_ticked = true;
  driver.OnConnectBox(true);
  const int64_t end = clock.NowMs() + 8000;
  while (clock.NowMs() < end && panel.timer() > 0) {
    clock.SleepMs(panel.timer());
    driver.Tick();
  }
  Shown shown{panel.info, {}};
  panel.connect_ticked = false;
  driver.OnConnectBox(false);
  for (const LiveSample& sample : panel.samples) shown.values.push_back(sample.values);
  return shown;
}

TEST(ReplayRoundTrip, ShowsTheSameIdentificationAndValues) {
  for (const EcuType type : {EcuType::k15m, EcuType::k16m, EcuType::kP8}) {
    SCOPED_TRACE(std::string(EcuTypeName(type)));
    VirtualClock recording_clock;
    SimulatedLine recorded(recording_clock, BuiltinProfile(type), type == EcuType::kP8 ? 0 : 500);
    const Shown first = RunSession(type, recording_clock, recorded);
    size_t entry = 0;
    size_t note = 0;
    const std::string csv = TraceCsvHead(type) + TraceCsvRows(recorded.trace(), &entry,
                                                              recorded.notes(), &note, INT64_MAX);

    std::string error;
    const std::optional<TraceFile> trace = ParseTrace(csv, &error);
    ASSERT_TRUE(trace) << error;
    ASSERT_EQ(trace->type, type);
    VirtualClock replay_clock;
    SimulatedLine replayed(replay_clock, ReplayEcu::FromTrace(*trace, type, {}, &error), 0);
    const Shown second = RunSession(type, replay_clock, replayed);

    EXPECT_NE(first.info.find("calibration"), std::string::npos) << first.info;
    EXPECT_EQ(second.info, first.info);
    ASSERT_GT(first.values.size(), 10u);
    EXPECT_EQ(second.values, first.values);
    for (const TraceNote& n : replayed.notes()) {
      EXPECT_EQ(n.text.find("the PC sent"), std::string::npos) << n.text;
    }
  }
}

}  // namespace
}  // namespace kline::sim
