#include "record/fault_report.h"

#include <QSaveFile>
#include <cstdio>

namespace kline {

FaultReport::FaultReport(QDateTime taken, std::string ecu_type)
    : taken_(std::move(taken)), ecu_type_(std::move(ecu_type)) {}

void FaultReport::AddIdentification(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (!line.empty()) identification_.emplace_back(line);
}

void FaultReport::AddRead(const FaultButton& button, std::string answer_hex) {
  reads_.push_back({&button, std::move(answer_hex)});
}

std::string FaultReport::Text() const {
  std::string text = "Fault memory report\n";
  text += "Date and time: " + taken_.toString(Qt::ISODate).toStdString() + "\n";
  text += "ECU type: " + ecu_type_ + "\n";
  if (identification_.empty()) {
    text += "Identification: not read\n";
  } else {
    text += "Identification:\n";
    for (const std::string& line : identification_) text += "  " + line + "\n";
  }
  for (const Read& read : reads_) {
    char request[8];
    std::snprintf(request, sizeof request, "0x%02X", read.button->request);
    text += "\n";
    text += read.button->caption;
    text += " (request " + std::string(request) + "): ";
    if (read.answer_hex.empty()) {
      text += std::string(kNoAnswerLine) + "\n";
      continue;
    }
    text += read.answer_hex + "\n";
    const std::vector<std::string_view> lines =
        DecodeFaultBits(read.button->table, HexToBits(read.answer_hex));
    // A fault byte with no bit set names no circuit; say so rather than leave a blank.
    if (lines.empty()) text += "  no fault recorded\n";
    for (std::string_view line : lines) {
      text += "  ";
      text += line;
      text += "\n";
    }
  }
  return text;
}

QString FaultReport::SaveTo(const QString& path) const {
  // Written aside and renamed over the old file, so a failed save never leaves half a report.
  QSaveFile file(path);
  const std::string text = Text();
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(text.data(), static_cast<qint64>(text.size())) !=
          static_cast<qint64>(text.size()) ||
      !file.commit()) {
    return QStringLiteral("Could not save the report to %1: %2.").arg(path, file.errorString());
  }
  return {};
}

}  // namespace kline
