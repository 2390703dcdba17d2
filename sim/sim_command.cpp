#include "sim/sim_command.h"

#include <charconv>
#include <vector>

namespace kline::sim {

namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t pos = 0;
  while (pos < line.size()) {
    const size_t start = line.find_first_not_of(" \t\r\n", pos);
    if (start == std::string_view::npos) break;
    size_t end = line.find_first_of(" \t\r\n", start);
    if (end == std::string_view::npos) end = line.size();
    words.push_back(line.substr(start, end - start));
    pos = end;
  }
  return words;
}

// Decimal, or hexadecimal after "0x".
std::optional<int> Number(std::string_view text, int base = 10) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::optional<uint8_t> HexByte(std::string_view text) {
  const std::optional<int> value = Number(text, 16);
  if (!value || *value < 0 || *value > 0xFF) return std::nullopt;
  return static_cast<uint8_t>(*value);
}

std::optional<SimCommand> Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return std::nullopt;
}

}  // namespace

std::optional<SimCommand> ParseSimCommand(std::string_view line, std::string* error) {
  const std::vector<std::string_view> words = Words(line);
  if (words.empty()) return Fail(error, "empty command");
  SimCommand command;
  const std::string_view verb = words[0];
  if (verb == "quit" && words.size() == 1) {
    command.kind = SimCommand::Kind::kQuit;
  } else if (verb == "status" && words.size() == 1) {
    command.kind = SimCommand::Kind::kStatus;
  } else if (verb == "ignition" && words.size() == 2 && (words[1] == "on" || words[1] == "off")) {
    command.kind = SimCommand::Kind::kIgnition;
    command.on = words[1] == "on";
  } else if (verb == "set" && words.size() == 3) {
    const std::optional<uint8_t> request = HexByte(words[1]);
    const std::optional<uint8_t> answer = HexByte(words[2]);
    if (!request || !answer) return Fail(error, "set takes two hex bytes: set RR VV");
    command.kind = SimCommand::Kind::kSet;
    command.request = *request;
    command.answer = *answer;
  } else if (verb == "fault" && words.size() == 2 && words[1] == "clear") {
    command.kind = SimCommand::Kind::kClearFaults;
  } else if (verb == "fault" && (words.size() == 2 || words.size() == 3)) {
    const std::optional<FaultKind> kind = FaultFromName(words[1]);
    if (!kind) {
      return Fail(error, "unknown fault \"" + std::string(words[1]) +
                             "\": silent, no-echo, stray, drop, late, extra, garbage, "
                             "ignition-off, cable, rate, clear");
    }
    command.kind = SimCommand::Kind::kFault;
    command.fault = *kind;
    if (words.size() == 3) {
      const std::optional<int> arg = Number(words[2]);
      if (!arg || *arg < 0) return Fail(error, "fault argument must be a number from 0 up");
      command.arg = *arg;
    }
  } else {
    return Fail(error, "unknown command \"" + std::string(line) +
                           "\": ignition on|off, set RR VV, fault KIND [ARG], fault clear, "
                           "status, quit");
  }
  return command;
}

}  // namespace kline::sim
