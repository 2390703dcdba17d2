// A plain-text report of a fault-memory reading, to keep or share: when, which ECU, its
// identification texts, what the places are, and every fault byte read with its value and each
// bit's text, the set bits marked.
#pragma once

#include <QDateTime>
#include <QString>
#include <string>
#include <vector>

#include "service/fault_memory.h"

namespace kline {

// A byte read as the fault view writes it: "0C = 0000 1100".
std::string FaultValueText(uint8_t value);

class FaultReport {
 public:
  FaultReport(QDateTime taken, std::string ecu_type);

  // One line of the ECU information box, as shown ("ecu data    : ...").
  void AddIdentification(std::string_view line);
  // One read: `answer_hex` is the byte as two hexadecimal digits, empty when the ECU did not
  // answer.
  void AddRead(const FaultButton& button, std::string answer_hex);

  std::string Text() const;
  // Writes Text() to `path` (replacing the file); returns an empty string on success, else a
  // sentence saying why it failed.
  QString SaveTo(const QString& path) const;

 private:
  struct Read {
    const FaultButton* button;
    std::string answer_hex;
  };

  QDateTime taken_;
  std::string ecu_type_;
  std::vector<std::string> identification_;
  std::vector<Read> reads_;
};

}  // namespace kline
