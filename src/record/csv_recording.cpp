#include "record/csv_recording.h"

#include <QFile>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "record/channel_columns.h"

namespace kline {

namespace {

constexpr double kEmpty = std::numeric_limits<double>::quiet_NaN();
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr qint64 kReadPiece = qint64{1} << 20;

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string_view Unquote(std::string_view cell) {
  cell = Trim(cell);
  if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"') {
    cell = Trim(cell.substr(1, cell.size() - 2));
  }
  return cell;
}

// Locale-free, like the writer. A file split by ';' or tabs may come from a spreadsheet that
// wrote decimal commas, so there a ',' is read as the decimal point.
std::optional<double> ParseNumber(std::string_view cell, char separator) {
  cell = Unquote(cell);
  if (!cell.empty() && cell.front() == '+') cell.remove_prefix(1);
  if (cell.empty() || cell.size() > 64) return std::nullopt;
  char buffer[64];
  std::copy(cell.begin(), cell.end(), buffer);
  if (separator != ',') std::replace(buffer, buffer + cell.size(), ',', '.');
  double value = 0;
  const auto result = std::from_chars(buffer, buffer + cell.size(), value);
  if (result.ec != std::errc() || result.ptr != buffer + cell.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).left(kMaxTextChars);
}

char SeparatorOf(std::string_view line) {
  for (char candidate : {',', ';', '\t'}) {
    if (line.find(candidate) != std::string_view::npos) return candidate;
  }
  return ',';
}

}  // namespace

void RecordingParser::Feed(std::string_view chunk) {
  while (!chunk.empty()) {
    const size_t end = chunk.find('\n');
    const std::string_view piece = chunk.substr(0, end);
    if (end != std::string_view::npos && partial_.empty() && !partial_too_long_) {
      if (piece.size() > kMaxLineBytes) {
        ++result_.skipped_lines;
      } else {
        TakeLine(piece);
      }
    } else {
      if (partial_.size() + piece.size() > kMaxLineBytes) {
        partial_too_long_ = true;
        partial_.clear();
      } else if (!partial_too_long_) {
        partial_.append(piece);
      }
      if (end == std::string_view::npos) return;
      if (partial_too_long_) {
        ++result_.skipped_lines;
      } else {
        TakeLine(partial_);
      }
      partial_.clear();
      partial_too_long_ = false;
    }
    chunk.remove_prefix(end + 1);
  }
}

CsvRecording RecordingParser::Finish() {
  if (partial_too_long_) {
    ++result_.skipped_lines;
  } else if (!partial_.empty()) {
    TakeLine(partial_);
  }
  partial_.clear();
  const size_t width = result_.columns.size();
  for (size_t c = 0; c < width; ++c) {
    QList<QPointF>& points = result_.columns[c].points;
    points.reserve(static_cast<qsizetype>(times_.size()));
    for (size_t row = 0; row < times_.size(); ++row) {
      const double value = cells_[row * width + c];
      if (!std::isnan(value)) points.append(QPointF(times_[row], value));
    }
  }
  times_ = {};
  cells_ = {};
  if (result_.rows == 0) {
    result_.error = QStringLiteral("No rows with a time in the first column.");
  } else if (width == 0) {
    result_.error = QStringLiteral("No columns of values beside the time.");
  }
  return std::move(result_);
}

void RecordingParser::TakeLine(std::string_view line) {
  if (at_start_ && line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
  at_start_ = false;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  // Inside a quoted cell a line is part of it, whatever it looks like.
  if (!splitter_.open()) {
    if (Trim(line).empty()) return;
    if (line.front() == '#') {
      if (result_.comments.size() < kMaxComments) {
        result_.comments.append(Text(Trim(line.substr(1))));
      }
      return;
    }
    if (!have_columns_) splitter_.set_separator(separator_ = SeparatorOf(line));
  }
  if (splitter_.Feed(line) != CsvSplitter::Result::kRecord) return;
  const std::vector<std::string_view> cells(splitter_.fields().begin(), splitter_.fields().end());
  if (!have_columns_) {
    TakeHeader(cells);
    // A file without a header row starts with its first row.
    if (ParseNumber(cells.front(), separator_)) TakeRow(cells);
    return;
  }
  TakeRow(cells);
}

void RecordingParser::TakeHeader(const std::vector<std::string_view>& cells) {
  have_columns_ = true;
  const bool named = !ParseNumber(cells.front(), separator_);
  const size_t count = std::min(cells.size(), size_t{kMaxColumns} + 1);
  for (size_t i = 1; i < count; ++i) {
    RecordingColumn column;
    column.name = named ? Text(Unquote(cells[i])) : QStringLiteral("Column %1").arg(i + 1);
    column.caption = column.name;
    for (const ChannelColumn& ours : kChannelColumns) {
      if (column.name == Text(ours.csv_name)) {
        column.caption = Text(ours.caption);
        column.unit = Text(ours.unit);
      }
    }
    result_.columns.push_back(std::move(column));
  }
}

void RecordingParser::TakeRow(const std::vector<std::string_view>& cells) {
  const std::optional<double> time = ParseNumber(cells.front(), separator_);
  if (!time) {
    ++result_.skipped_lines;
    return;
  }
  ++result_.rows;
  if (next_row_index_++ % result_.keep_every != 0) return;
  times_.push_back(*time);
  for (size_t c = 0; c < result_.columns.size(); ++c) {
    cells_.push_back(c + 1 < cells.size() ? ParseNumber(cells[c + 1], separator_).value_or(kEmpty)
                                          : kEmpty);
  }
  if (times_.size() >= size_t{kMaxKeptRows}) Thin();
}

void RecordingParser::Thin() {
  const size_t width = result_.columns.size();
  const size_t kept = (times_.size() + 1) / 2;
  for (size_t row = 1; row < kept; ++row) {
    times_[row] = times_[2 * row];
    std::copy_n(cells_.begin() + static_cast<ptrdiff_t>(2 * row * width), width,
                cells_.begin() + static_cast<ptrdiff_t>(row * width));
  }
  times_.resize(kept);
  cells_.resize(kept * width);
  result_.keep_every *= 2;
}

CsvRecording ParseRecording(std::string_view text) {
  RecordingParser parser;
  parser.Feed(text.substr(0, static_cast<size_t>(kMaxRecordingBytes)));
  CsvRecording recording = parser.Finish();
  recording.cut_short = text.size() > static_cast<size_t>(kMaxRecordingBytes);
  return recording;
}

CsvRecording ReadRecording(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    CsvRecording recording;
    recording.error = QStringLiteral("Could not open %1: %2.").arg(path, file.errorString());
    return recording;
  }
  RecordingParser parser;
  QByteArray piece(kReadPiece, Qt::Uninitialized);
  qint64 total = 0;
  while (total < kMaxRecordingBytes) {
    const qint64 got = file.read(piece.data(), std::min(kReadPiece, kMaxRecordingBytes - total));
    if (got <= 0) break;
    parser.Feed(std::string_view(piece.constData(), static_cast<size_t>(got)));
    total += got;
  }
  CsvRecording recording = parser.Finish();
  recording.cut_short = total >= kMaxRecordingBytes && !file.atEnd();
  return recording;
}

}  // namespace kline
