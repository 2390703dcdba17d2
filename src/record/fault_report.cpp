#include "record/fault_report.h"

#include <cstdio>

#include "link/save_file.h"

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
  if (!reads_.empty()) text += "\n" + std::string(kFaultPlacesLine) + "\n";
  for (const Read& read : reads_) {
    char request[8];
    std::snprintf(request, sizeof request, "0x%02X", read.button->request);
    text += "\n";
    text += read.button->caption;
    text += " (request " + std::string(request) + "): ";
    const FaultByteView view = ViewFaultByte(read.button->table, read.answer_hex);
    if (!view.value) {
      text += std::string(kNoAnswerLine) + "\n";
      continue;
    }
    text += FaultValueText(*view.value);
    if (view.set_bit_names_fault) {
      const int faults = view.FaultCount();
      text += faults == 0   ? ", no fault recorded"
              : faults == 1 ? ", 1 fault"
                            : ", " + std::to_string(faults) + " faults";
    }
    text += "\n";
    // Every bit with its text, the set ones marked, so that 04 and 0C never read the same.
    for (const FaultBit& bit : view.bits) {
      text += "  bit " + std::to_string(bit.bit) + (bit.set ? " [x] " : " [ ] ");
      text += bit.text;
      text += "\n";
    }
  }
  return text;
}

std::string FaultValueText(uint8_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X = ", value);
  std::string result = text;
  for (int bit = 7; bit >= 0; --bit) {
    result += (value >> bit) & 1 ? '1' : '0';
    if (bit == 4) result += ' ';
  }
  return result;
}

QString FaultReport::SaveTo(const QString& path) const {
  QString error;
  if (!SaveWholeFile(path, Text(), &error)) {
    return QStringLiteral("Could not save the report to %1: %2.").arg(path, error);
  }
  return {};
}

}  // namespace kline
