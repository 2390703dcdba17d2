#include "link/port_name.h"

#include "link/numbers.h"

namespace kline {

namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<std::string> PortPath(const std::string& port_field) {
  std::string text = Trimmed(port_field);
  if (!text.empty() && text.front() == '/') return text;
#ifdef _WIN32
  if (text.rfind("\\\\.\\", 0) == 0) return text;
  // "COM3" as Windows writes it, in any case, is port 3.
  if (text.size() > 3 && text.find_first_not_of("0123456789", 3) == std::string::npos &&
      (text[0] | 0x20) == 'c' && (text[1] | 0x20) == 'o' && (text[2] | 0x20) == 'm') {
    text.erase(0, 3);
  }
#endif
  const int64_t number = RoundHalfEven(LeadingNumber(text));
  if (number < 1 || number > kMaxPortNumber) return std::nullopt;
#ifdef _WIN32
  return "COM" + std::to_string(number);
#else
  return "/dev/ttyS" + std::to_string(number - 1);
#endif
}

std::string OtherPortNames() {
#ifdef _WIN32
  return "a port name such as COM3";
#else
  return "a device path such as /dev/ttyUSB0";
#endif
}

}  // namespace kline
