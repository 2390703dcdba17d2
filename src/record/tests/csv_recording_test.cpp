#include "record/csv_recording.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <random>
#include <tuple>

#include "link/csv.h"
#include "link/trace.h"
#include "link/trace_reader.h"

namespace kline {
namespace {

std::string RandomBytes(size_t size) {
  std::mt19937 random(12);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::string Repeat(std::string_view line, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += line;
  return text;
}

TEST(CsvRecordingTest, HostileInputsGiveWhatCanBeRead) {
  const std::string header = "time_s,rpm,battery_v\n";
  // Rows and skipped lines (-1: any), the most columns, the first column's points and value.
  const std::tuple<const char*, std::string, int64_t, int64_t, size_t, int, double> cases[] = {
      {"empty", "", 0, 0, 0, 0, 0},
      {"header only", header, 0, 0, 2, 0, 0},
      {"random bytes", RandomBytes(1 << 20), -1, -1, kMaxColumns, 0, 0},
      {"huge first line", std::string(kMaxLineBytes + 1, 'x') + "\n" + header + "0,1,2", 1, 1, 2, 1,
       1},
      {"huge line split by nothing", std::string(3 * kMaxLineBytes, ','), 0, 1, 0, 0, 0},
      {"missing cells", header + "0,1000\n1\n2,,12.5\n", 3, 0, 2, 1, 1000},
      {"extra cells", header + "0,5,6,7,8,9\n" + Repeat(",", 500) + "\n", 1, 1, 2, 1, 5},
      {"unreadable cells", header + "0,abc,1\n1,nan,inf\n2,1e999,0x10\n3,\"7\", +8 \n", 4, 0, 2, 1,
       7},
      {"no time", header + "x,1,2\n,3,4\n5,6,7", 1, 2, 2, 1, 6},
      {"no header", "0.5,10\n1.5,20\n", 2, 0, 1, 2, 10},
      {"BOM, CRLF, comments", "\xEF\xBB\xBF# made by hand\r\n" + header + "0,1,2\r\n#x\r\n", 1, 0,
       2, 1, 1},
      {"semicolons with decimal commas", "t;rpm\n0,5;1234,5\n", 1, 0, 1, 1, 1234.5},
      {"too many columns", Repeat("c,", 100) + "\n" + Repeat("1,", 100), 1, 0, kMaxColumns, 1, 1},
  };
  for (const auto& [name, text, rows, skipped, columns, first_points, first_value] : cases) {
    SCOPED_TRACE(name);
    const CsvRecording whole = ParseRecording(text);
    if (rows >= 0) {
      EXPECT_EQ(whole.rows, rows);
    }
    if (skipped >= 0) {
      EXPECT_EQ(whole.skipped_lines, skipped);
    }
    EXPECT_EQ(whole.error.isEmpty(), whole.rows > 0 && !whole.columns.empty());
    EXPECT_LE(whole.columns.size(), columns);
    if (columns > 0 && rows >= 0) {
      ASSERT_EQ(whole.columns.size(), columns);
      ASSERT_EQ(whole.columns[0].points.size(), first_points);
      if (first_points > 0) {
        EXPECT_EQ(whole.columns[0].points[0].y(), first_value);
      }
    }
    // Pieces of any size give the same result as the whole text.
    RecordingParser parser;
    for (size_t at = 0; at < text.size(); at += 7)
      parser.Feed(std::string_view(text).substr(at, 7));
    const CsvRecording pieces = parser.Finish();
    EXPECT_EQ(pieces.rows, whole.rows);
    EXPECT_EQ(pieces.skipped_lines, whole.skipped_lines);
    EXPECT_EQ(pieces.columns.size(), whole.columns.size());
  }
}

// A 100 MB file: every row counted, the points thinned evenly to the bound, the whole time
// span still shown.
// One dialect written and read everywhere: hostile fields come back as they went in, through
// the splitter, a trace's note and a recording's header.
TEST(CsvDialectTest, HostileFieldsComeBackAsTheyWentIn) {
  const std::vector<std::string> fields = {
      "plain",      "",     "a,b",      "say \"hi\"",
      "two\nlines", "\r\n", " padded ", "K\xC3\xBChlung \xC2\xB0" "C",
      "\"",         ";;",   ",\"\n"};
  for (const char separator : {',', ';'}) {
    std::string text;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) text += separator;
      text += CsvField(fields[i], separator);
    }
    CsvSplitter splitter(separator);
    CsvSplitter::Result result = CsvSplitter::Result::kGoesOn;
    size_t start = 0;
    while (result == CsvSplitter::Result::kGoesOn && start <= text.size()) {
      const size_t end = std::min(text.find('\n', start), text.size());
      result = splitter.Feed(std::string_view(text).substr(start, end - start));
      start = end + 1;
    }
    ASSERT_EQ(result, CsvSplitter::Result::kRecord) << separator;
    EXPECT_EQ(std::vector<std::string>(splitter.fields().begin(), splitter.fields().end()), fields);
  }

  for (const std::string& note : fields) {
    if (note.empty()) continue;
    std::string error;
    const auto trace = ParseTrace(std::string(kTraceCsvHeader) + "\n" +
                                      TraceCsvRow(TraceNote{5, note}) + "\n1000,pc,01,7812,0,\n",
                                  &error);
    ASSERT_TRUE(trace) << error;
    ASSERT_EQ(trace->notes.size(), 1u);
    // A file's lines may end in CR LF; a line break inside a note reads back as LF.
    std::string expected = note;
    std::erase(expected, '\r');
    EXPECT_EQ(trace->notes[0].note.text, expected);
    EXPECT_EQ(trace->rows.size(), 1u);
  }

  // A quoted header with the separator in it names one column; the values stay under theirs.
  const CsvRecording recording =
      ParseRecording("time_s,\"Speed, front\",rpm\n0.0,12.5,1000\n0.5,13,1100\n");
  ASSERT_EQ(recording.columns.size(), 2u);
  EXPECT_EQ(recording.columns[0].name, QStringLiteral("Speed, front"));
  ASSERT_EQ(recording.columns[1].points.size(), 2);
  EXPECT_EQ(recording.columns[1].points[1].y(), 1100);
}

TEST(CsvRecordingTest, LargeFileIsThinnedEvenly) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("big.csv"));
  const std::string row_tail = ",1234,2.5,10,1000,20,80,5.5,13.8,1\n";
  const int64_t rows = (int64_t{100} << 20) / static_cast<int64_t>(row_tail.size() + 8);
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    std::string text =
        "time_s,rpm,injection_ms,advance_deg,pressure_mbar,air_c,water_c,"
        "throttle_deg,battery_v,trimmer\n";
    for (int64_t row = 0; row < rows; ++row) {
      text += std::to_string(row);
      text += row_tail;
      if (text.size() > (1 << 20)) {
        file.write(text.data(), static_cast<qint64>(text.size()));
        text.clear();
      }
    }
    file.write(text.data(), static_cast<qint64>(text.size()));
  }
  const CsvRecording recording = ReadRecording(path);
  EXPECT_EQ(recording.rows, rows);
  EXPECT_FALSE(recording.cut_short);
  ASSERT_EQ(recording.columns.size(), 9u);
  EXPECT_NE(recording.columns[5].caption, recording.columns[5].name) << "ours have captions";
  EXPECT_FALSE(recording.columns[5].unit.isEmpty());
  const QList<QPointF>& points = recording.columns[8].points;
  EXPECT_LE(points.size(), kMaxKeptRows);
  EXPECT_GT(points.size(), kMaxKeptRows / 2);
  EXPECT_EQ(points.front().x(), 0);
  EXPECT_GT(points.back().x(), static_cast<double>(rows - recording.keep_every - 1));
  for (qsizetype i = 1; i < points.size(); ++i) {
    ASSERT_EQ(points[i].x() - points[i - 1].x(), static_cast<double>(recording.keep_every));
  }
  EXPECT_FALSE(ReadRecording(dir.filePath(QStringLiteral("missing.csv"))).error.isEmpty());
}

}  // namespace
}  // namespace kline
