#include "engine/interface_finder.h"

#include "service/cable_check.h"

namespace kline {

void InterfaceFinder::CheckCable(KLinePort& port, const QString& field) {
  const CableCheckResult result = kline::CheckCable(port, field.toStdString());
  const QString sentence = QString::fromStdString(result.sentence);
  emit CableChecked(field, result.verdict == CableVerdict::kEchoOk, sentence);
  emit PortMessage(sentence);
}

void InterfaceFinder::FindInterface(KLinePort& port, const QStringList& fields) {
  QString found;
  for (const QString& field : fields) {
    const CableCheckResult result = kline::CheckCable(port, field.toStdString());
    emit CableChecked(field, result.verdict == CableVerdict::kEchoOk,
                      QString::fromStdString(result.sentence));
    if (result.verdict == CableVerdict::kEchoOk) {
      found = field;
      break;
    }
  }
  const QString tried = fields.join(QStringLiteral(", "));
  QString summary;
  if (fields.isEmpty()) {
    summary = QStringLiteral("The system lists no serial ports to try.");
  } else if (found.isEmpty()) {
    summary = QStringLiteral("No port echoed correctly (tried %1).").arg(tried);
  } else {
    summary = QStringLiteral("The interface is on %1 (tried %2).").arg(found, tried);
  }
  emit InterfaceFound(found, summary);
  emit PortMessage(summary);
}

}  // namespace kline
