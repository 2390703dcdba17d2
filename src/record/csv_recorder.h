// Writes live samples to a CSV file as they arrive: a few '#' lines saying what was recorded,
// a header row, then one row per sample, each handed to the OS at once so that a crash or a
// killed process loses at most the row being written.
#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "session/live_sample.h"

namespace kline {

// What the comment lines above the header row say.
struct RecordingHeader {
  std::string ecu_type;
  std::string iso_code;
  std::string ecu_data;
  std::string calibration;
  QDateTime started;
};

// The comment lines and the header row that open a recording.
std::string CsvHead(const RecordingHeader& header);
// The row of `sample`, its time counted from `first_us`, with its line break.
std::string CsvRow(const LiveSample& sample, int64_t first_us);

class CsvRecorder {
 public:
  // Creates (or empties) `path` and writes the comment lines and the header row. On failure
  // returns false, Error() says why and nothing is recording.
  bool Start(const QString& path, const RecordingHeader& header);
  // Appends the row of `sample`; time counts from the first sample after Start. Returns false
  // when not recording or when the write failed: then the recording stops, Error() says why,
  // and every row written before stays whole in the file.
  bool Append(const LiveSample& sample);
  // Closes the file; FileName, RowsWritten and ElapsedSeconds keep describing it.
  void Stop();

  bool IsRecording() const { return file_.isOpen(); }
  QString FileName() const { return file_.fileName(); }
  int64_t RowsWritten() const { return rows_written_; }
  // The time of the last row written, in seconds.
  double ElapsedSeconds() const {
    return static_cast<double>(last_us_ - first_us_.value_or(0)) / 1e6;
  }
  // A sentence for the status bar after Start or Append failed; empty otherwise.
  const QString& Error() const { return error_; }

 private:
  // Hands `bytes` to the OS in one write; on failure cuts off whatever part of it got in,
  // closes the file and sets the error.
  bool WriteWhole(const std::string& bytes);

  QFile file_;
  std::optional<int64_t> first_us_;
  int64_t last_us_ = 0;
  int64_t rows_written_ = 0;
  QString error_;
};

}  // namespace kline
