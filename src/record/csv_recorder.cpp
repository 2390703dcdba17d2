#include "record/csv_recorder.h"

#include <charconv>
#include <cmath>

#include "record/channel_columns.h"

namespace kline {

namespace {

// A comment line holds one text; line breaks inside it would start rows of their own.
std::string CommentLine(std::string_view label, std::string_view text) {
  std::string line = "# ";
  line += label;
  line += ": ";
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  return line;
}

// std::to_chars never looks at the locale, so the decimal point is '.' everywhere; the shortest
// form reads back as the very same double.
void AppendNumber(std::string& out, double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void AppendSeconds(std::string& out, int64_t us) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(us) / 1e6,
                                    std::chars_format::fixed, 3);
  out.append(buffer, result.ptr);
}

}  // namespace

std::string CsvHead(const RecordingHeader& header) {
  std::string head = "# kline-diag live data\n";
  head += CommentLine("ECU type", header.ecu_type);
  head += CommentLine("ISO code", header.iso_code);
  head += CommentLine("ECU data", header.ecu_data);
  head += CommentLine("Calibration", header.calibration);
  head += CommentLine("Started", header.started.toString(Qt::ISODate).toStdString());
  head += kTimeColumn;
  for (const ChannelColumn& column : kChannelColumns) {
    head += ',';
    head += column.csv_name;
  }
  head += '\n';
  return head;
}

std::string CsvRow(const LiveSample& sample, int64_t first_us) {
  std::string row;
  AppendSeconds(row, sample.time_us - first_us);
  for (const std::optional<double>& value : sample.values) {
    row += ',';
    // A spreadsheet reads neither "inf" nor "nan": such a value is left out like a missing one.
    if (value && std::isfinite(*value)) AppendNumber(row, *value);
  }
  row += '\n';
  return row;
}

bool CsvRecorder::Start(const QString& path, const RecordingHeader& header) {
  Stop();
  first_us_.reset();
  last_us_ = 0;
  rows_written_ = 0;
  error_.clear();
  file_.setFileName(path);
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
    error_ = QStringLiteral("Could not create %1: %2.").arg(path, file_.errorString());
    return false;
  }
  return WriteWhole(CsvHead(header));
}

bool CsvRecorder::Append(const LiveSample& sample) {
  if (!IsRecording()) return false;
  if (!first_us_) first_us_ = sample.time_us;
  if (!WriteWhole(CsvRow(sample, *first_us_))) return false;
  last_us_ = sample.time_us;
  ++rows_written_;
  return true;
}

void CsvRecorder::Stop() { file_.close(); }

bool CsvRecorder::WriteWhole(const std::string& bytes) {
  const qint64 before = file_.pos();
  const auto size = static_cast<qint64>(bytes.size());
  if (file_.write(bytes.data(), size) == size) return true;
  error_ = QStringLiteral("Recording stopped: could not write to %1: %2.")
               .arg(file_.fileName(), file_.errorString());
  // A part row would read back as wrong numbers; the rows before it are complete.
  file_.resize(before);
  file_.close();
  return false;
}

}  // namespace kline
