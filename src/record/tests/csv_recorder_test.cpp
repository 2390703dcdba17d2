#include "record/csv_recorder.h"

#include <gtest/gtest.h>

// A file-size limit stands in for a full disk; Windows has none to set.
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <csignal>

#include "record/channel_columns.h"
#include "record/csv_recording.h"

namespace kline {
namespace {

LiveSample Sample(int64_t time_us, double base) {
  LiveSample sample;
  sample.time_us = time_us;
  for (size_t i = 0; i < sample.values.size(); ++i) {
    if (i % 4 != 3) sample.values[i] = base * static_cast<double>(i + 1) / 7.0 - 3.0;
  }
  return sample;
}

CsvRecording ReadBack(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  return ParseRecording(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

const RecordingHeader kHeader{"16m", "80 55 0F", "ABC\r\nDEF", "CAL01",
                              QDateTime(QDate(2026, 5, 1), QTime(14, 30, 5))};

// Written under a locale with decimal commas, every number still reads back exactly.
TEST(CsvRecorderTest, RowsReadBackExactlyUnderCommaLocale) {
  const QLocale previous;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("ride.csv"));
  CsvRecorder recorder;
  ASSERT_TRUE(recorder.Start(path, kHeader));
  const int64_t start_us = 7'000'123;
  for (int row = 0; row < 50; ++row) {
    ASSERT_TRUE(recorder.Append(Sample(start_us + row * 48'000, row * 13.37)));
  }
  LiveSample blank;
  blank.time_us = start_us + 50 * 48'000;
  blank.values[2] = std::nan("");
  ASSERT_TRUE(recorder.Append(blank));
  recorder.Stop();
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(previous);

  EXPECT_EQ(recorder.RowsWritten(), 51);
  EXPECT_DOUBLE_EQ(recorder.ElapsedSeconds(), 50 * 0.048);
  const CsvRecording back = ReadBack(path);
  ASSERT_TRUE(back.error.isEmpty()) << back.error.toStdString();
  EXPECT_EQ(back.rows, 51);
  EXPECT_EQ(back.skipped_lines, 0);
  EXPECT_TRUE(back.comments.contains(QStringLiteral("ECU type: 16m")));
  EXPECT_TRUE(back.comments.contains(QStringLiteral("ISO code: 80 55 0F")));
  EXPECT_TRUE(back.comments.contains(QStringLiteral("ECU data: ABC  DEF")));
  EXPECT_TRUE(back.comments.contains(QStringLiteral("Started: 2026-05-01T14:30:05")));
  ASSERT_EQ(back.columns.size(), kChannelColumns.size());
  for (size_t c = 0; c < kChannelColumns.size(); ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(back.columns[c].name.toStdString(), kChannelColumns[c].csv_name);
    const QList<QPointF>& points = back.columns[c].points;
    // Every fourth channel was never read; the all-blank last row adds nothing.
    ASSERT_EQ(points.size(), c % 4 == 3 ? 0 : 50);
    for (int row = 0; row < points.size(); ++row) {
      EXPECT_DOUBLE_EQ(points[row].x(), row * 0.048);
      EXPECT_EQ(points[row].y(), *Sample(0, row * 13.37).values[c]);
    }
  }
}

TEST(CsvRecorderTest, FullDeviceRefusesTheStartWithASentence) {
  CsvRecorder recorder;
  EXPECT_FALSE(recorder.Start(QStringLiteral("/dev/full"), kHeader));
  EXPECT_FALSE(recorder.IsRecording());
  EXPECT_TRUE(recorder.Error().contains(QStringLiteral("/dev/full")));
  EXPECT_FALSE(recorder.Append(Sample(0, 1)));
  EXPECT_FALSE(recorder.Start(QStringLiteral("/nonexistent/dir/x.csv"), kHeader));
  EXPECT_FALSE(recorder.Error().isEmpty());
}

#ifndef _WIN32
// The disk fills up mid-recording (a file-size limit stands in for it): the recording stops
// with a sentence and the file keeps every whole row written before, and no part row.
TEST(CsvRecorderTest, WriteErrorStopsAndKeepsEarlierRows) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("full.csv"));
  CsvRecorder recorder;
  ASSERT_TRUE(recorder.Start(path, kHeader));
  for (int row = 0; row < 10; ++row) ASSERT_TRUE(recorder.Append(Sample(row * 1000, row)));

  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit previous_limit{};
  getrlimit(RLIMIT_FSIZE, &previous_limit);
  rlimit limit = previous_limit;
  limit.rlim_cur = static_cast<rlim_t>(QFile(path).size() + 250);
  setrlimit(RLIMIT_FSIZE, &limit);
  int written = 10;
  while (recorder.Append(Sample(written * 1000, written))) ++written;
  setrlimit(RLIMIT_FSIZE, &previous_limit);
  std::signal(SIGXFSZ, previous_handler);

  EXPECT_FALSE(recorder.IsRecording());
  EXPECT_TRUE(recorder.Error().startsWith(QStringLiteral("Recording stopped")));
  EXPECT_GT(written, 10);
  EXPECT_EQ(recorder.RowsWritten(), written);
  EXPECT_FALSE(recorder.Append(Sample(written * 1000, 0)));
  const CsvRecording back = ReadBack(path);
  EXPECT_EQ(back.rows, written);
  EXPECT_EQ(back.skipped_lines, 0);
  EXPECT_EQ(back.columns[0].points.size(), written);
  EXPECT_LE(static_cast<rlim_t>(QFile(path).size()), limit.rlim_cur);
}
#endif

}  // namespace
}  // namespace kline
