// A plain-text report of a fault-memory reading, to keep or share: when, which ECU, its
// identification texts and every fault byte read with the texts its bits stand for.
#pragma once

#include <QDateTime>
#include <QString>
#include <string>
#include <vector>

#include "service/fault_memory.h"

namespace kline {

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
