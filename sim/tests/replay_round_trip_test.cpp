// A session recorded through the simulator, in its own trace and in the line monitor's file,
// and replayed from either, shows the same identification, live values, messages and
// diagnosis, and the replay never departs from the recording.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/ini_file.h"
#include "link/kline_port.h"
#include "link/trace_gaps.h"
#include "record/line_history.h"
#include "record/line_log.h"
#include "service/connection_diagnosis.h"
#include "service/fault_memory.h"
#include "service/tests/fake_windows.h"
#include "session/session_driver.h"
#include "session/testing/fake_panel.h"
#include "sim/replay_ecu.h"
#include "sim/simulated_line.h"

namespace kline::sim {
namespace {

struct Shown {
  std::string info;
  std::vector<std::array<std::optional<double>, kChannelCount>> values;
  std::string port_message;
  std::string diagnosis;
  bool operator==(const Shown&) const = default;
};

struct Fault {
  std::optional<FaultKind> kind;
  int64_t at_ms = 0;  // after the port opened
};

// Connects, lets the session run as the window would, and disconnects.
Shown RunSession(EcuType type, VirtualClock& clock, SimulatedLine& line, LineLog& monitor,
                 Fault fault, int64_t run_ms = 8000) {
  IniText ini;
  KLinePort port{line, clock};
  port.SetTap(&monitor);
  FakePanel panel;
  panel.type = type;
  SessionDriver driver{port, panel, ini};
  driver.SetDecimalSeparator('.');
  panel.connect_ticked = true;
  driver.OnConnectBox(true);
  const int64_t start = clock.NowMs();
  while (clock.NowMs() < start + run_ms && panel.timer() > 0) {
    if (fault.kind && clock.NowMs() >= start + fault.at_ms) {
      line.InjectFault(*fault.kind);
      fault.kind.reset();
    }
    clock.SleepMs(panel.timer());
    driver.Tick();
  }
  Shown shown{panel.info,
              {},
              panel.port_message,
              DiagnoseConnection(monitor.observation(), FailedStep::kLiveData).sentence};
  panel.connect_ticked = false;
  driver.OnConnectBox(false);
  for (const LiveSample& sample : panel.samples) shown.values.push_back(sample.values);
  return shown;
}

// Every type, and the faults that change what the wire shows, from the simulator's trace and
// from the line monitor's file: the replay shows what the session showed, and the program's
// own conversation breaks none of its pauses or bounds.
TEST(ReplayRoundTrip, ShowsTheSameIdentificationValuesAndDiagnosis) {
  struct Case {
    EcuType type;
    Fault fault;
  };
  std::vector<Case> cases;
  for (const EcuType type : kAllEcuTypes) cases.push_back({type, {}});
  for (const FaultKind kind : {FaultKind::kNoEcho, FaultKind::kGarbage, FaultKind::kStrayByte,
                               FaultKind::kSilent, FaultKind::kCablePulled}) {
    cases.push_back({EcuType::k16m, {kind, 3000}});
  }
  // Silent from key-on: a 15Rc is woken without waiting for its identification.
  cases.push_back({EcuType::k15Rc, {FaultKind::kSilent, 0}});
  for (const Case& c : cases) {
    for (const bool from_monitor : {false, true}) {
      // The PC's side sees a pulled cable as a port that fails, and cannot tell which of its
      // bytes collided with a stray one: its file shows neither.
      if (from_monitor &&
          (c.fault.kind == FaultKind::kCablePulled || c.fault.kind == FaultKind::kStrayByte)) {
        continue;
      }
      SCOPED_TRACE(std::string(EcuTypeName(c.type)) + " " +
                   (c.fault.kind ? std::string(FaultName(*c.fault.kind)) : "no fault") +
                   (from_monitor ? " monitor" : " simulator"));
      VirtualClock recording_clock;
      SimulatedLine recorded(recording_clock, BuiltinProfile(c.type),
                             c.type == EcuType::kP8 ? 0 : 500);
      LineLog monitor;
      const Shown first = RunSession(c.type, recording_clock, recorded, monitor, c.fault);
      std::string csv = kTraceCsvHeader + std::string("\n");
      for (const LineEntry& entry : monitor.Entries()) csv += LineCsvRow(entry) + "\n";
      if (!from_monitor) {
        size_t entry = 0;
        size_t note = 0;
        csv = TraceCsvHead(c.type) +
              TraceCsvRows(recorded.trace(), &entry, recorded.notes(), &note, INT64_MAX);
      }

      std::string error;
      const std::optional<TraceFile> trace = ParseTrace(csv, &error);
      ASSERT_TRUE(trace) << error;
      const TraceGaps gaps = ReadGaps(*trace);
      // A stray byte before the echo is a byte nobody asked for; the PC waits for the answer
      // behind the echo all the same, so no request goes out sooner than its pause.
      const bool strays = c.fault.kind == FaultKind::kStrayByte;
      EXPECT_EQ(gaps.counts[static_cast<size_t>(GapMark::kEarlyRequest)], 0u);
      EXPECT_EQ(gaps.counts[static_cast<size_t>(GapMark::kLateAnswer)], 0u);
      EXPECT_EQ(gaps.counts[static_cast<size_t>(GapMark::kUnasked)] > 0, strays);

      VirtualClock replay_clock;
      std::unique_ptr<ReplayEcu> ecu = ReplayEcu::FromTrace(*trace, c.type, {}, &error);
      ASSERT_TRUE(ecu) << error;
      SimulatedLine replayed(replay_clock, std::move(ecu), 0);
      LineLog replay_monitor;
      const Shown second = RunSession(c.type, replay_clock, replayed, replay_monitor, {});

      if (!c.fault.kind) {
        EXPECT_NE(first.info.find("calibration"), std::string::npos);
      }
      EXPECT_FALSE(first.values.empty());
      EXPECT_EQ(second.info, first.info);
      for (size_t i = 0; i < std::min(first.values.size(), second.values.size()); ++i) {
        EXPECT_EQ(second.values[i], first.values[i]) << "sample " << i;
      }
      // The replay pulls the cable at the PC's first byte after the recording's last, not
      // at the recorded moment: the session may start one more step, which reads nothing.
      const bool pulled = c.fault.kind == FaultKind::kCablePulled;
      ASSERT_EQ(second.values.size(), first.values.size() + (pulled ? 1 : 0));
      if (pulled) {
        EXPECT_EQ(second.values.back(), decltype(second.values)::value_type{});
      }
      EXPECT_EQ(second.port_message, first.port_message);
      EXPECT_EQ(second.diagnosis, first.diagnosis);
      for (const TraceNote& n : replayed.notes()) {
        EXPECT_EQ(n.text.find("the PC sent"), std::string::npos) << n.text;
      }
    }
  }
}

// A session longer than a trace keeps: the file holds the opening and the newest bytes and
// replays past the gap, showing the identification and then the newest values. Cut to its
// last bytes, as older files were, it replays what it can and says what it lacks.
TEST(ReplayRoundTrip, ALongSessionReplaysPastItsGap) {
  VirtualClock clock;
  SimulatedLine recorded(clock, BuiltinProfile(EcuType::k15m), 500);
  LineLog monitor;
  const Shown first = RunSession(EcuType::k15m, clock, recorded, monitor, {}, 60000);
  const std::vector<LineEntry> entries = monitor.Entries();
  const auto complete = [](const Shown& shown) {
    std::vector<std::array<std::optional<double>, kChannelCount>> whole;
    for (const auto& values : shown.values) {
      if (std::all_of(values.begin(), values.end(), [](const auto& v) { return v.has_value(); }))
        whole.push_back(values);
    }
    return whole;
  };
  for (const bool old_file : {false, true}) {
    SCOPED_TRACE(old_file ? "the last bytes only" : "opening and newest bytes");
    LineHistory history(3000);
    if (old_file) {
      history.Add({entries.end() - 3000, entries.end()});
    } else {
      history.Add(entries);
    }
    std::string rows = history.CsvRows();
    // An older file had no note of the port's opening.
    if (old_file) rows.erase(0, rows.find('\n') + 1);
    std::string error;
    const std::optional<TraceFile> trace = ParseTrace(TraceCsvHead(EcuType::k15m) + rows, &error);
    ASSERT_TRUE(trace) << error;
    const TraceGaps gaps = ReadGaps(*trace);
    EXPECT_EQ(gaps.left_out > 0, !old_file);
    EXPECT_EQ(gaps.no_wake_up, old_file);
    EXPECT_EQ(gaps.counts[static_cast<size_t>(GapMark::kEarlyRequest)], 0u);

    std::vector<std::string> said;
    ReplayEcu::Options options;
    options.report = [&](const std::string& text) { said.push_back(text); };
    VirtualClock replay_clock;
    SimulatedLine replayed(replay_clock,
                           ReplayEcu::FromTrace(*trace, EcuType::k15m, options, &error), 0);
    LineLog replay_monitor;
    const Shown second =
        RunSession(EcuType::k15m, replay_clock, replayed, replay_monitor, {}, 45000);
    const auto shown = complete(second);
    ASSERT_FALSE(shown.empty());
    // The newest values the recording holds are shown.
    EXPECT_EQ(shown.back(), complete(first).back());

    if (old_file) {
      ASSERT_FALSE(said.empty());
      EXPECT_NE(said.front().find("holds no wake-up"), std::string::npos) << said.front();
      EXPECT_NE(said.front().find("usual key-on bytes stand in"), std::string::npos);
    } else {
      EXPECT_EQ(second.info, first.info);
      // Past the gap is no departure; only the end of the recording is.
      for (const std::string& text : said) {
        EXPECT_NE(text.find("after the recording ended"), std::string::npos) << text;
      }
    }
  }
}

// Recorded bikes kept with the sources: the session shows the identification their recording
// holds and the fault memory reads what the recorded ECU answered, through the replay.
TEST(RecordedBikes, ShowTheirIdentificationAndFaultMemory) {
  const struct {
    const char* file;
    EcuType type;
    const char* info;
  } bikes[] = {
      {"16m.csv", EcuType::k16m,
       "Iso Code    : 550F5A031641\r\necu data    : MK16M-0915\r\ncalibration : C16A0303\r\n"},
      {"P8.csv", EcuType::kP8, "ecu data    : MKP8-10.22\r\ncalibration : CP8F1104\r\n"},
  };
  for (const auto& bike : bikes) {
    SCOPED_TRACE(bike.file);
    std::string error;
    const std::optional<TraceFile> trace =
        LoadTrace(std::string(KLINE_TRACES_DIR) + "/" + bike.file, &error);
    ASSERT_TRUE(trace) << error;
    EXPECT_EQ(trace->type, bike.type);
    VirtualClock clock;
    SimulatedLine line(clock, ReplayEcu::FromTrace(*trace, bike.type, {}, &error), 0);
    IniText ini;
    KLinePort port{line, clock};
    FakePanel panel;
    panel.type = bike.type;
    SessionDriver driver{port, panel, ini};
    panel.connect_ticked = true;
    driver.OnConnectBox(true);
    while (panel.samples.empty() && clock.NowMs() < 10000) {
      clock.SleepMs(std::max(panel.timer(), 1));
      driver.Tick();
    }
    EXPECT_EQ(panel.info, bike.info);
    testing::FakeHost host;
    host.type = bike.type;
    FaultMemory faults(port, host);
    const Profile profile = BuiltinProfile(bike.type);
    for (const FaultButton& button : kFaultButtons) {
      EXPECT_EQ(faults.ReadFaultByte(button.request), HexByte(profile.answers.at(button.request)))
          << button.caption;
    }
  }
}

}  // namespace
}  // namespace kline::sim
