#include "cli/cli_format.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <charconv>
#include <cstdio>

#include "engine/text.h"
#include "link/trace_gaps.h"
#include "record/channel_columns.h"
#include "service/service_host.h"

namespace kline::cli {

namespace {

constexpr int kMinColumnWidth = 10;

int ColumnWidth(std::string_view name) {
  return std::max(kMinColumnWidth, static_cast<int>(name.size()) + 2);
}

void AppendColumn(std::string& line, std::string_view text, int width) {
  line.append(static_cast<size_t>(std::max(0, width - static_cast<int>(text.size()))), ' ');
  line += text;
}

// Right-aligned numbers of up to three decimals line their decimal points up when the shorter
// ones are padded on the right as far as the third decimal.
std::string DecimalPointAligned(std::string text) {
  const size_t dot = text.find('.');
  const size_t pad = dot == std::string::npos ? 4 : 3 - (text.size() - dot - 1);
  text.append(pad, ' ');
  return text;
}

}  // namespace

// std::to_chars never looks at the locale, unlike the session's display texts.
std::string PointNumber(double value) {
  char buffer[48];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
  std::string text(buffer, result.ptr);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  if (text == "-0") text = "0";
  return text;
}

std::string LiveHeadLine(const ChannelSet& channels) {
  std::string line;
  AppendColumn(line, kTimeColumn, ColumnWidth(kTimeColumn));
  for (size_t i = 0; i < kChannelColumns.size(); ++i) {
    if (channels[i])
      AppendColumn(line, kChannelColumns[i].csv_name, ColumnWidth(kChannelColumns[i].csv_name));
  }
  return line + '\n';
}

std::string LiveLine(const LiveSample& sample, int64_t first_us, const ChannelSet& channels) {
  char seconds[32];
  const auto result = std::to_chars(seconds, seconds + sizeof seconds,
                                    static_cast<double>(sample.time_us - first_us) / 1e6,
                                    std::chars_format::fixed, 3);
  std::string line;
  AppendColumn(line, std::string_view(seconds, result.ptr), ColumnWidth(kTimeColumn));
  for (size_t i = 0; i < kChannelColumns.size(); ++i) {
    if (!channels[i]) continue;
    const std::optional<double>& value = sample.values[i];
    AppendColumn(line, DecimalPointAligned(value ? PointNumber(*value) : "-"),
                 ColumnWidth(kChannelColumns[i].csv_name));
  }
  // A "-" may be the ECU's own "no value"; a row it left unanswered says so.
  if (sample.answered < sample.asked) line += sample.answered == 0 ? "  no answer" : "  incomplete";
  return line + '\n';
}

QByteArray FaultsJson(EcuType type, const EcuIdentification& identification,
                      const QDateTime& read_at, const FaultAnswers& answers) {
  QJsonArray bytes;
  for (size_t i = 0; i < kFaultButtons.size(); ++i) {
    const FaultButton& button = kFaultButtons[i];
    QJsonObject entry{
        {QStringLiteral("name"), Q(button.caption)},
        {QStringLiteral("request"),
         QStringLiteral("%1").arg(button.request, 2, 16, QLatin1Char('0')).toUpper()}};
    if (answers[i].isEmpty()) {
      entry.insert(QStringLiteral("answer"), QJsonValue::Null);
      entry.insert(QStringLiteral("error"), Q(kNoAnswerLine));
    } else {
      QJsonArray texts;
      for (std::string_view text :
           DecodeFaultBits(button.table, HexToBits(answers[i].toStdString()))) {
        texts.append(Q(text));
      }
      const FaultByteView view = ViewFaultByte(button.table, answers[i].toStdString());
      QJsonArray bits;
      for (const FaultBit& bit : view.bits) {
        bits.append(QJsonObject{{QStringLiteral("bit"), bit.bit},
                                {QStringLiteral("set"), bit.set},
                                {QStringLiteral("text"), Q(bit.text)}});
      }
      entry.insert(QStringLiteral("answer"), answers[i]);
      entry.insert(QStringLiteral("value"), view.value.value_or(0));
      entry.insert(QStringLiteral("texts"), texts);
      entry.insert(QStringLiteral("bits"), bits);
      if (view.set_bit_names_fault) entry.insert(QStringLiteral("fault_count"), view.FaultCount());
    }
    bytes.append(entry);
  }
  const auto text_or_null = [](const std::optional<std::string>& text) {
    return text ? QJsonValue(Q(*text)) : QJsonValue(QJsonValue::Null);
  };
  const QJsonObject document{
      {QStringLiteral("program"), QStringLiteral("kline-diag-cli " KLINE_VERSION)},
      {QStringLiteral("read_at"), read_at.toString(Qt::ISODate)},
      {QStringLiteral("ecu_type"), Q(EcuTypeName(type))},
      {QStringLiteral("identification"),
       QJsonObject{{QStringLiteral("iso_code"), text_or_null(identification.iso_code)},
                   {QStringLiteral("ecu_data"), text_or_null(identification.ecu_data)},
                   {QStringLiteral("calibration"), text_or_null(identification.calibration)}}},
      {QStringLiteral("places"), Q(kFaultPlacesLine)},
      {QStringLiteral("faults"), bytes}};
  return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

namespace {

constexpr size_t kPieceBytes = 64 * 1024;

// A JSON string: the file's texts may hold anything, and bytes that are no UTF-8 become U+FFFD.
std::string JsonString(std::string_view text) {
  const std::string utf8 =
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8().toStdString();
  std::string out = "\"";
  for (char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A text from the file as a terminal may show it: no control characters.
std::string Plain(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

std::string Ms(int64_t us) { return PointNumber(static_cast<double>(us) / 1000.0); }

}  // namespace

bool WriteTrace(const QString& name, const TraceFile& trace, bool json,
                const std::function<bool(std::string_view)>& write) {
  const TraceGaps gaps = ReadGaps(trace);
  const std::string type = trace.type ? std::string(EcuTypeName(*trace.type)) : std::string();
  std::string out;
  const auto flush = [&](bool always) {
    if (!always && out.size() < kPieceBytes) return true;
    const bool written = write(out);
    out.clear();
    return written;
  };
  const auto count = [&](GapMark mark) { return gaps.counts[static_cast<size_t>(mark)]; };
  if (json) {
    out +=
        "{\n  \"file\": " + JsonString(name.toStdString()) +
        ",\n  \"ecu_type\": " + (trace.type ? JsonString(type) : "null") +
        ",\n  \"counts\": {\"early_requests\": " + std::to_string(count(GapMark::kEarlyRequest)) +
        ", \"late_answers\": " + std::to_string(count(GapMark::kLateAnswer)) +
        ", \"unasked_bytes\": " + std::to_string(count(GapMark::kUnasked)) +
        ", \"left_out_bytes\": " + std::to_string(gaps.left_out) +
        ", \"no_wake_up\": " + (gaps.no_wake_up ? "true" : "false") + "},\n  \"rows\": [";
  } else {
    out += "# trace " + Plain(name.toStdString()) + ", ECU type " +
           (type.empty() ? "not named" : type) + ", " + std::to_string(trace.rows.size()) +
           " bytes, " + std::to_string(trace.notes.size()) + " notes\n# " + GapCountsLine(gaps) +
           "\n# time_ms gap_ms dir byte baud note\n";
  }
  // Bytes and notes in the file's order.
  size_t r = 0;
  size_t n = 0;
  bool first = true;
  while (r < trace.rows.size() || n < trace.notes.size()) {
    const bool byte = n == trace.notes.size() ||
                      (r < trace.rows.size() && trace.rows[r].line < trace.notes[n].line);
    if (json) out += first ? "\n    " : ",\n    ";
    first = false;
    if (byte) {
      const TraceEntry& e = trace.rows[r].entry;
      const std::string& label = trace.labels[trace.rows[r].label];
      const std::string_view mark = GapMarkText(gaps.marks[r]);
      if (json) {
        out += "{\"time_us\": " + std::to_string(e.time_us) +
               ", \"gap_us\": " + std::to_string(gaps.gap_us[r]) + ", \"dir\": \"" +
               TraceDirWord(e.dir) + "\", \"byte\": \"" + HexByte(e.byte) +
               "\", \"baud\": " + std::to_string(e.baud) +
               ", \"garbled\": " + (e.garbled ? "true" : "false") +
               ", \"note\": " + JsonString(label) +
               ", \"mark\": " + (mark.empty() ? "null" : JsonString(mark)) + "}";
      } else {
        out += Ms(e.time_us) + " " + Ms(gaps.gap_us[r]) + " " + TraceDirWord(e.dir) + " " +
               HexByte(e.byte) + (e.garbled ? "?" : "") + " " + std::to_string(e.baud) +
               (label.empty() ? "" : " " + Plain(label)) +
               (mark.empty() ? "" : " !! " + std::string(mark)) + "\n";
      }
      ++r;
    } else {
      const TraceNote& note = trace.notes[n].note;
      if (json) {
        out += "{\"time_us\": " + std::to_string(note.time_us) +
               ", \"dir\": \"note\", \"note\": " + JsonString(note.text) + "}";
      } else {
        out += Ms(note.time_us) + " - note " + Plain(note.text) + "\n";
      }
      ++n;
    }
    if (!flush(false)) return false;
  }
  if (json) out += "\n  ]\n}\n";
  return flush(true);
}

}  // namespace kline::cli
