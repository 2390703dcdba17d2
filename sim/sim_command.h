// The simulator's runtime commands, one per line: "ignition on|off", "set RR VV",
// "fault KIND [ARG]", "fault clear", "status", "quit".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sim/line_model.h"

namespace kline::sim {

struct SimCommand {
  enum class Kind { kIgnition, kSet, kFault, kClearFaults, kStatus, kQuit };
  Kind kind = Kind::kStatus;
  bool on = false;      // kIgnition
  uint8_t request = 0;  // kSet
  uint8_t answer = 0;   // kSet
  FaultKind fault = FaultKind::kSilent;
  int arg = 0;  // kFault; 0 when not given
  bool operator==(const SimCommand&) const = default;
};

// nullopt with a reason in `error` when the line is not a command.
std::optional<SimCommand> ParseSimCommand(std::string_view line, std::string* error);

}  // namespace kline::sim
