// The engine on its own thread with a real serial port, against the simulated ECU on a
// pseudo-terminal in real time: what the line monitor records and what the status bar says
// when a part of the chain fails.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "engine/connection_watch.h"
#include "engine/engine_thread.h"
#include "engine/line_batcher.h"
#include "engine/mirrors.h"
#include "link/trace_gaps.h"
#include "link/trace_reader.h"
#include "record/line_history.h"
#include "sim/pty_ecu_server.h"

namespace kline {
namespace {

struct Row {
  int64_t time_us = 0;
  uint8_t byte = 0;
  int baud = 0;
};

// Both traces' layout: time_us,dir,byte,baud,garbled,note; rows by direction.
std::map<std::string, std::vector<Row>> ReadTrace(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text)) << path.toStdString();
  std::map<std::string, std::vector<Row>> rows;
  file.readLine();
  while (!file.atEnd()) {
    const QStringList cells = QString::fromUtf8(file.readLine()).split(u',');
    if (cells.size() < 4 || cells[1] == u"note") continue;
    rows[cells[1].toStdString()].push_back({cells[0].toLongLong(),
                                            static_cast<uint8_t>(cells[2].toInt(nullptr, 16)),
                                            cells[3].toInt()});
  }
  return rows;
}

class WireEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::PtyEcuServer::Options options;
    options.trace_path = dir_.filePath(QStringLiteral("sim.csv")).toStdString();
    server_ = std::make_unique<sim::PtyEcuServer>(sim::BuiltinProfile(EcuType::k15m), options);
    std::string error;
    ASSERT_TRUE(server_->Start(&error)) << error;
    engine_ = std::make_unique<EngineThread>(
        EngineSetup{.settings_path = dir_.filePath(QStringLiteral("k.ini"))});
    DiagnosticEngine* engine = &engine_->engine();
    QObject::connect(&engine->events(), &EngineEvents::LineEntries, &context_,
                     [this](const std::vector<LineEntry>& batch) {
                       entries_.insert(entries_.end(), batch.begin(), batch.end());
                     });
    const auto note = [this](const QString& text) {
      if (!text.isEmpty()) messages_ << text;
    };
    QObject::connect(&engine->events(), &EngineEvents::Message, &context_, note);
    QObject::connect(&engine->events(), &EngineEvents::Diagnosed, &context_,
                     [note](ConnectionFinding, const QString& sentence) { note(sentence); });
  }
  void TearDown() override {
    if (engine_) engine_->Stop();
    if (server_) server_->Stop();
  }
  void Connect() {
    PanelChoices choices;
    choices.port_field = QString::fromStdString(server_->slave_path());
    choices.type = EcuType::k15m;
    choices.channels.fill(true);
    engine_->engine().Connect(choices);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server_->PcPortOpen(); }, 2000));
  }

  QTemporaryDir dir_;
  std::unique_ptr<sim::PtyEcuServer> server_;
  std::unique_ptr<EngineThread> engine_;
  QObject context_;
  std::vector<LineEntry> entries_;
  QStringList messages_;
};

TEST_F(WireEndToEndTest, MonitorAgreesWithTheSimulatorsTrace) {
  Connect();
  QTest::qWait(6000);  // wake-up, identification and live polling
  engine_->engine().Disconnect();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !server_->PcPortOpen(); }, 2000));
  QTest::qWait(300);  // the last batch
  engine_->Stop();
  server_->Stop();
  const QString ours = dir_.filePath(QStringLiteral("monitor.csv"));
  LineHistory line(LineLog::kCapacity);
  line.Add(entries_);
  ASSERT_TRUE(line.Save(ours, nullptr));
  auto pc = ReadTrace(ours);
  auto sim = ReadTrace(dir_.filePath(QStringLiteral("sim.csv")));
  // Read as the trace view reads them, neither side of a normal session in real time breaks a
  // pause or a bound: the stamps' own 1 ms is part of the rule.
  for (const QString& file : {ours, dir_.filePath(QStringLiteral("sim.csv"))}) {
    std::string error;
    const std::optional<TraceFile> trace = LoadTrace(file.toStdString(), &error);
    ASSERT_TRUE(trace) << error;
    const TraceGaps gaps = ReadGaps(*trace);
    EXPECT_EQ(GapCountsLine(gaps),
              "0 requests sooner than their pause, 0 answers later than their bound, 0 bytes "
              "while nothing was asked")
        << file.toStdString();
  }
  ASSERT_FALSE(pc["pc"].empty());
  ASSERT_GT(pc["ecu"].size(), 100u);
  // The simulator's clock starts with it, ours when the port opens.
  const int64_t offset = sim["pc"][0].time_us - pc["pc"][0].time_us;
  std::vector<int64_t> errors_us;
  for (const std::string dir : {"pc", "echo", "ecu"}) {
    const std::vector<Row>& mine = pc[dir];
    const std::vector<Row>& theirs = sim[dir];
    // The port may close with a request's echo and answer still on the wire.
    ASSERT_LE(mine.size(), theirs.size()) << dir;
    ASSERT_GE(mine.size() + 2, theirs.size()) << dir;
    for (size_t i = 0; i < mine.size(); ++i) {
      ASSERT_EQ(mine[i].byte, theirs[i].byte) << dir << " byte " << i;
      // The simulator stamps the ECU's bytes as they begin; the PC has them one byte later.
      const int64_t arrival_us = dir == "ecu" ? 10'000'000 / theirs[i].baud : 0;
      errors_us.push_back(std::llabs(mine[i].time_us + offset - theirs[i].time_us - arrival_us));
    }
  }
  std::sort(errors_us.begin(), errors_us.end());
  // The waits look every 3 to 4 ms; a loaded machine may hold a thread up now and then.
  const int64_t p95 = errors_us[errors_us.size() * 95 / 100];
  const int64_t p99 = errors_us[errors_us.size() * 99 / 100];
  std::printf("%zu bytes: median %lld us, p95 %lld us, max %lld us\n", errors_us.size(),
              static_cast<long long>(errors_us[errors_us.size() / 2]), static_cast<long long>(p95),
              static_cast<long long>(errors_us.back()));
  EXPECT_LE(p95, 5000);
  EXPECT_LE(p99, 20000);
}

struct FaultCase {
  sim::FaultKind fault;
  const char* phrase;  // what the status bar's sentence must say
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << sim::FaultName(c.fault); }

class DiagnosisTest : public WireEndToEndTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(DiagnosisTest, NamesThePartAtFault) {
  Connect();
  server_->InjectFault(GetParam().fault);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages_.isEmpty(); }, 15000));
  EXPECT_TRUE(messages_.first().contains(QLatin1String(GetParam().phrase)))
      << messages_.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DiagnosisTest,
    ::testing::Values(FaultCase{sim::FaultKind::kSilent, "switch the ignition on"},
                      FaultCase{sim::FaultKind::kIgnitionOff, "switch the ignition on"},
                      FaultCase{sim::FaultKind::kNoEcho, "the interface does not echo"},
                      FaultCase{sim::FaultKind::kStrayByte, "garbled"},
                      FaultCase{sim::FaultKind::kCablePulled, "unplugged"}),
    [](const auto& info) {
      std::string name(sim::FaultName(info.param.fault));  // "no-echo" becomes "no_echo"
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

}  // namespace
}  // namespace kline
