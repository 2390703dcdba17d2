// The line monitor's log against a whole session on the simulated wire: what the tap saw
// must be what the simulator put on the wire.
#include "record/line_log.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <tuple>

#include "record/line_history.h"
#include "service/connection_diagnosis.h"
#include "session/testing/sim_session.h"
#include "sim/wire.h"

namespace kline {
namespace {

struct Received {
  int64_t arrival_us;
  uint8_t byte;
  LineDir dir;
};

// The bytes that reached the PC before `until_us`, in the order they arrived.
std::vector<Received> ArrivedAtPc(const std::vector<TraceEntry>& trace, int64_t until_us) {
  std::vector<Received> out;
  for (const TraceEntry& e : trace) {
    if (e.dir == TraceEntry::Dir::kPcSent) continue;
    const bool echo = e.dir == TraceEntry::Dir::kEcho;
    const int64_t arrival = echo ? e.time_us : e.time_us + ByteTimeUs(e.baud);
    if (arrival <= until_us)
      out.push_back({arrival, e.byte, echo ? LineDir::kEcho : LineDir::kFromEcu});
  }
  std::stable_sort(out.begin(), out.end(), [](const Received& a, const Received& b) {
    return a.arrival_us < b.arrival_us;
  });
  return out;
}

TEST(LineLogTest, SessionLogHoldsTheSimulatorsBytesInOrderAndTime) {
  SimSession session(EcuType::k15m);
  LineLog log;
  session.port.SetTap(&log);
  log.SetActivity(Activity::kWakeUp);
  session.Connect();
  session.Run(6000);
  // The simulated key comes on half a second after the port opened.
  const auto& notes = session.line.notes();
  const auto key_on = std::find_if(notes.begin(), notes.end(),
                                   [](const TraceNote& n) { return n.text == "ignition on"; });
  ASSERT_NE(key_on, notes.end());
  const int64_t opened_us = key_on->time_us - 500'000;
  log.SetActivity(Activity::kLiveData);
  session.Run(1000);
  session.port.Close();
  const int64_t closed_us = session.clock.NowUs();

  std::vector<LineEntry> entries = log.TakeNew();
  ASSERT_GT(entries.size(), 100u);
  EXPECT_TRUE(log.TakeNew().empty());
  EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end(), [](auto& a, auto& b) {
    return a.time_us < b.time_us;
  })) << "entries in time order";

  std::vector<LineEntry> sent;
  std::vector<LineEntry> received;
  for (const LineEntry& e : entries) (e.dir == LineDir::kSent ? sent : received).push_back(e);
  const std::vector<TraceEntry> pc = session.Sent();
  ASSERT_EQ(sent.size(), pc.size());
  for (size_t i = 0; i < pc.size(); ++i) {
    EXPECT_EQ(sent[i].byte, pc[i].byte) << i;
    EXPECT_EQ(sent[i].baud, pc[i].baud) << i;
    EXPECT_EQ(sent[i].time_us + opened_us, pc[i].time_us) << i;
  }
  const std::vector<Received> wire = ArrivedAtPc(session.line.trace(), closed_us);
  ASSERT_EQ(received.size(), wire.size());
  for (size_t i = 0; i < wire.size(); ++i) {
    EXPECT_EQ(received[i].byte, wire[i].byte) << i;
    EXPECT_EQ(received[i].dir, wire[i].dir) << i;
    // Stamped when the port first saw the byte waiting: never before it arrived. How soon
    // after is measured in real time by the wire end-to-end test.
    EXPECT_GE(received[i].time_us + opened_us, wire[i].arrival_us) << i;
  }

  // Live data: each exchange carries what its request asks for.
  // The last engine-speed request was sent during live data.
  auto speed = entries.end();
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (it->dir == LineDir::kSent && it->byte == 0x01) speed = it;
  }
  ASSERT_NE(speed, entries.end());
  EXPECT_EQ(speed->label, "01 engine speed, first byte");
  EXPECT_EQ((speed + 1)->dir, LineDir::kEcho);
  EXPECT_EQ((speed + 1)->label, speed->label);
  EXPECT_EQ((speed + 2)->dir, LineDir::kFromEcu);
  EXPECT_EQ((speed + 2)->label, speed->label);

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("line.csv"));
  LineHistory line(1);
  line.Add({*speed});
  ASSERT_TRUE(line.Save(path, nullptr));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(),
            std::string(kTraceCsvHeader) + "\n0,note,,,," + kTraceConnectionNote + "\n" +
                std::to_string(speed->time_us) + ",pc,01,7812,0,\"01 engine speed, first byte\"\n");
}

TEST(LineLogTest, RingKeepsTheNewestAndHandsOutEachEntryOnce) {
  LineLog log(4);
  log.OnOpened(1000, 1200);
  for (uint8_t b = 1; b <= 3; ++b) log.OnSent(b, 1000 + b * 10, 1200);
  EXPECT_EQ(log.TakeNew().size(), 3u);
  for (uint8_t b = 4; b <= 9; ++b) log.OnSent(b, 1000 + b * 10, 1200);
  const std::vector<LineEntry> fresh = log.TakeNew();
  ASSERT_EQ(fresh.size(), 4u);
  EXPECT_EQ(fresh.front().byte, 6);
  EXPECT_EQ(fresh.back().time_us, 90);
  EXPECT_EQ(log.Entries(), fresh);
}

// What the tap saw on a failed connection gives the sentence the status bar shows. A silent
// ECU and a missing echo are told through the real port by the wire end-to-end test.
TEST(LineLogTest, FailedConnectionsAreDiagnosedFromTheTap) {
  const std::tuple<const char*, EcuType, int, ConnectionFinding> cases[] = {
      {"ignition never on", EcuType::k15m, -1, ConnectionFinding::kNoBytes},
      {"a 15m woken as a P8", EcuType::kP8, 500, ConnectionFinding::kUnexpectedBytes},
  };
  for (const auto& [name, selected, ignition_delay_ms, finding] : cases) {
    SCOPED_TRACE(name);
    SimSession session(selected, sim::BuiltinProfile(EcuType::k15m), ignition_delay_ms);
    LineLog log;
    session.port.SetTap(&log);
    session.Connect();
    log.SetActivity(Activity::kWakeUp);
    session.Run(3000);
    const ConnectionDiagnosis d = DiagnoseConnection(log.observation(), FailedStep::kWakeUp);
    EXPECT_EQ(d.finding, finding) << d.sentence;
  }
}

}  // namespace
}  // namespace kline
