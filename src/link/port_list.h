// The serial ports this computer has, as the "Com" field takes them, each with words that
// help a user recognise the adapter.
#pragma once

#include <string>
#include <vector>

namespace kline {

struct PortChoice {
  // What goes into the "Com" field: the device path on Linux, the port number on Windows.
  std::string field;
  // "/dev/ttyUSB0 - USB serial adapter (FTDI)": the field text and what the system says.
  std::string label;
};

std::vector<PortChoice> ListPorts();

// The label of a port from its field text and the system's description and maker.
std::string PortLabel(const std::string& field, const std::string& description,
                      const std::string& manufacturer);

// The field text inside a label picked from the list; any other text stays as it is.
std::string PortFieldFromLabel(const std::string& text);

}  // namespace kline
