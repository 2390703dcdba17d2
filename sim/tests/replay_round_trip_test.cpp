// A session recorded through the simulator, in its own trace and in the line monitor's file,
// and replayed from either, shows the same identification and live values, and the replay
// never departs from the recording.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/ini_file.h"
#include "link/kline_port.h"
#include "record/line_log.h"
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
Shown RunSession(EcuType type, VirtualClock& clock, SimulatedLine& line, LineLog* monitor) {
  IniText ini;
  KLinePort port{line, clock};
  port.SetTap(monitor);
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
    for (const bool from_monitor : {false, true}) {
      SCOPED_TRACE(std::string(EcuTypeName(type)) + (from_monitor ? " monitor" : " simulator"));
      VirtualClock recording_clock;
      SimulatedLine recorded(recording_clock, BuiltinProfile(type), type == EcuType::kP8 ? 0 : 500);
      LineLog monitor;
      const Shown first = RunSession(type, recording_clock, recorded, &monitor);
      std::string csv = kTraceCsvHeader + std::string("\n");
      for (const LineEntry& entry : monitor.Entries()) csv += LineCsvRow(entry) + "\n";
      if (!from_monitor) {
        size_t entry = 0;
        size_t note = 0;
        csv = TraceCsvHead(type) +
              TraceCsvRows(recorded.trace(), &entry, recorded.notes(), &note, INT64_MAX);
      }

      std::string error;
      const std::optional<TraceFile> trace = ParseTrace(csv, &error);
      ASSERT_TRUE(trace) << error;
      VirtualClock replay_clock;
      SimulatedLine replayed(replay_clock, ReplayEcu::FromTrace(*trace, type, {}, &error), 0);
      const Shown second = RunSession(type, replay_clock, replayed, nullptr);

      EXPECT_NE(first.info.find("calibration"), std::string::npos) << first.info;
      EXPECT_EQ(second.info, first.info);
      ASSERT_GT(first.values.size(), 10u);
      EXPECT_EQ(second.values, first.values);
      for (const TraceNote& n : replayed.notes()) {
        EXPECT_EQ(n.text.find("the PC sent"), std::string::npos) << n.text;
      }
    }
  }
}

}  // namespace
}  // namespace kline::sim
