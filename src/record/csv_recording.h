// Reads a recording (ours, or any CSV whose first column is a time in seconds) back into one
// series of (time, value) points per column, for the chart. Whatever the input, the work is
// linear in its size and the memory bounded: at most kMaxRecordingBytes are read, lines longer
// than kMaxLineBytes are skipped, columns past kMaxColumns are ignored, and when more than
// kMaxKeptRows rows come, every second kept row is dropped (as often as needed), so a long
// recording is shown whole at a coarser step.
#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/csv.h"

namespace kline {

inline constexpr int64_t kMaxRecordingBytes = int64_t{512} << 20;
inline constexpr size_t kMaxLineBytes = size_t{64} << 10;
inline constexpr int kMaxColumns = 32;
inline constexpr int kMaxKeptRows = 50'000;
inline constexpr int kMaxComments = 20;
inline constexpr int kMaxTextChars = 200;

struct RecordingColumn {
  QString name;           // the header cell
  QString caption;        // the channel's caption when the name is one of ours, else the name
  QString unit;           // empty when unknown
  QList<QPointF> points;  // (seconds, value), in file order; an empty cell gives no point
};

struct CsvRecording {
  QStringList comments;                  // the '#' lines, without the '#'
  std::vector<RecordingColumn> columns;  // every column after the time column
  int64_t rows = 0;                      // data rows with a readable time
  int64_t skipped_lines = 0;             // lines that were not rows: no readable time, too long
  int64_t keep_every = 1;                // one row in keep_every is in the points
  bool cut_short = false;                // the input was longer than kMaxRecordingBytes
  QString error;                         // why there is nothing to show; empty when there is
};

// Takes the input in pieces of any size, so a file is never held whole in memory.
class RecordingParser {
 public:
  void Feed(std::string_view chunk);
  // The last line (even without a line break) is taken too; the parser is spent afterwards.
  CsvRecording Finish();

 private:
  void TakeLine(std::string_view line);
  void TakeHeader(const std::vector<std::string_view>& cells);
  void TakeRow(const std::vector<std::string_view>& cells);
  // Halves the kept rows when the table is full.
  void Thin();

  CsvRecording result_;
  std::string partial_;  // the line begun in an earlier chunk
  bool partial_too_long_ = false;
  bool at_start_ = true;  // a UTF-8 byte-order mark may come first
  bool have_columns_ = false;
  char separator_ = ',';
  // At most one cell more than the columns kept, so a hostile line costs no more than its
  // length.
  CsvSplitter splitter_{',', size_t{kMaxColumns} + 1};
  int64_t next_row_index_ = 0;
  std::vector<double> times_;  // kept rows
  std::vector<double> cells_;  // kept rows x columns, NaN for an empty or unreadable cell
};

CsvRecording ParseRecording(std::string_view text);
// Reads the file in pieces; blocks for as long as that takes (about a second for 100 MB), so
// windows run it on a thread of its own.
CsvRecording ReadRecording(const QString& path);

}  // namespace kline
