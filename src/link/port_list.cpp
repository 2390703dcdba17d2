#include "link/port_list.h"

#include <QSerialPortInfo>

namespace kline {

namespace {

constexpr char kSeparator[] = " - ";

}  // namespace

std::string PortLabel(const std::string& field, const std::string& description,
                      const std::string& manufacturer) {
  std::string words = description;
  if (!manufacturer.empty() && words.find(manufacturer) == std::string::npos) {
    words += words.empty() ? manufacturer : " (" + manufacturer + ")";
  }
  if (words.empty()) words = "serial port";
  return field + kSeparator + words;
}

std::string PortFieldFromLabel(const std::string& text) {
  const size_t at = text.find(kSeparator);
  return at == std::string::npos ? text : text.substr(0, at);
}

std::vector<PortChoice> ListPorts() {
  std::vector<PortChoice> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef _WIN32
    // The field takes the number of a COM port.
    QString name = info.portName();
    if (name.startsWith(QStringLiteral("COM"))) name.remove(0, 3);
    const std::string field = name.toStdString();
#else
    const std::string field = info.systemLocation().toStdString();
#endif
    ports.push_back({field, PortLabel(field, info.description().toStdString(),
                                      info.manufacturer().toStdString())});
  }
  return ports;
}

}  // namespace kline
