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
  const std::string text = Trimmed(port_field);
#ifdef _WIN32
  if (text.rfind("\\\\.\\", 0) == 0) return text;
#else
  if (!text.empty() && text.front() == '/') return text;
#endif
  const int64_t number = RoundHalfEven(LeadingNumber(text));
  if (number < 1 || number > kMaxPortNumber) return std::nullopt;
#ifdef _WIN32
  return "COM" + std::to_string(number);
#else
  return "/dev/ttyS" + std::to_string(number - 1);
#endif
}

}  // namespace kline
