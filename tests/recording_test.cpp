// Recordings against the simulator in real time: what the window records is what the session
// sampled, and a recording whose writer is killed keeps every row it finished.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "engine/engine_thread.h"
#include "engine/mirrors.h"
#include "record/csv_recording.h"
#include "sim/pty_ecu_server.h"
#include "ui/main_window.h"

namespace kline::ui {
namespace {

// The session's tests show each sample holds what the ECU sent, converted; here the recording
// must hold each sample, at its time.
TEST(Recording, RowsAreTheSamples) {
  sim::PtyEcuServer server(sim::BuiltinProfile(EcuType::k15m), {});
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  QTemporaryDir dir;
  EngineThread engine({.device = nullptr, .clock = nullptr, .settings_path = dir.filePath("i")});
  auto window = std::make_unique<MainWindow>(engine.engine(), dir.filePath("i"));
  window->SetPortFieldText(QString::fromStdString(server.slave_path()));
  std::vector<LiveSample> samples;
  QObject::connect(&engine.engine().events(), &EngineEvents::SampleTaken, window.get(),
                   [&](const LiveSample& sample) {
                     if (window->recorder().IsRecording()) samples.push_back(sample);
                   });
  window->findChild<QCheckBox*>(QStringLiteral("Check2(0)"))->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->TestsMenu()->isEnabled(); }, 10000));
  ASSERT_TRUE(window->StartRecording(dir.filePath("live.csv")));
  QTest::qWait(2000);
  window->StopRecording(QString());
  window->close();
  engine.Stop();

  const CsvRecording recording = ReadRecording(dir.filePath("live.csv"));
  ASSERT_TRUE(recording.error.isEmpty()) << recording.error.toStdString();
  ASSERT_GE(samples.size(), 3u);
  EXPECT_EQ(recording.rows, static_cast<int64_t>(samples.size()));
  ASSERT_EQ(recording.columns.size(), size_t{kChannelCount});
  for (size_t c = 0; c < kChannelCount; ++c) {
    const QList<QPointF>& points = recording.columns[c].points;  // an empty cell is no point
    EXPECT_FALSE(points.isEmpty()) << "channel " << c;
    qsizetype p = 0;
    for (const LiveSample& sample : samples) {
      if (!sample.values[c]) continue;
      ASSERT_LT(p, points.size()) << "channel " << c;
      const double seconds = static_cast<double>(sample.time_us - samples[0].time_us) / 1e6;
      EXPECT_NEAR(points[p].x(), seconds, 0.0005001) << "channel " << c;
      EXPECT_EQ(points[p++].y(), *sample.values[c]) << "channel " << c;
    }
    EXPECT_EQ(p, points.size()) << "channel " << c;
  }

  window.reset();
  server.Stop();
}

#ifdef KLINE_CLI_PATH
TEST(Recording, EveryCompleteRowSurvivesAKill) {
  QTemporaryDir dir;
  const QString path = dir.filePath("killed.csv");
  QProcess cli;
  cli.start(QStringLiteral(KLINE_CLI_PATH), {"--simulate", "live", "--csv", path});
  ASSERT_TRUE(cli.waitForStarted());
  const auto read = [&] {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  };
  // Complete lines after the header row.
  const auto rows = [](const QByteArray& text) {
    const qsizetype header = text.indexOf("\ntime_s");
    return header < 0 ? 0 : text.mid(header + 1).count('\n') - 1;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return rows(read()) >= 4; }, 15000));
  cli.kill();
  ASSERT_TRUE(cli.waitForFinished());

  QByteArray text = read();
  text.truncate(text.lastIndexOf('\n') + 1);  // the row being written may be cut
  const int64_t complete_rows = rows(text);
  const CsvRecording recording = ParseRecording(text.toStdString());
  EXPECT_TRUE(recording.error.isEmpty()) << recording.error.toStdString();
  EXPECT_EQ(recording.skipped_lines, 0);
  EXPECT_GE(recording.rows, 4);
  EXPECT_EQ(recording.rows, complete_rows);
}
#endif

}  // namespace
}  // namespace kline::ui
