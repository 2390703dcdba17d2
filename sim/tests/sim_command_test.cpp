#include "sim/sim_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

namespace kline::sim {
namespace {

using Kind = SimCommand::Kind;

TEST(SimCommand, ParsesEveryCommand) {
  const std::tuple<const char*, SimCommand> cases[] = {
      {"ignition on", {Kind::kIgnition, true}},
      {"  ignition off\r", {Kind::kIgnition, false}},
      {"set 17 41", {Kind::kSet, false, 0x17, 0x41}},
      {"set 0x0f ff", {Kind::kSet, false, 0x0F, 0xFF}},
      {"fault silent", {Kind::kFault, false, 0, 0, FaultKind::kSilent, 0}},
      {"fault drop 3", {Kind::kFault, false, 0, 0, FaultKind::kDropAnswer, 3}},
      {"fault late 3500", {Kind::kFault, false, 0, 0, FaultKind::kLateAnswer, 3500}},
      {"fault stray 0x42", {Kind::kFault, false, 0, 0, FaultKind::kStrayByte, 0x42}},
      {"fault cable", {Kind::kFault, false, 0, 0, FaultKind::kCablePulled, 0}},
      {"fault clear", {Kind::kClearFaults}},
      {"status", {Kind::kStatus}},
      {"quit", {Kind::kQuit}},
  };
  for (const auto& [line, expected] : cases) {
    std::string error;
    const std::optional<SimCommand> command = ParseSimCommand(line, &error);
    ASSERT_TRUE(command.has_value()) << line << ": " << error;
    EXPECT_EQ(*command, expected) << line;
  }
}

TEST(SimCommand, RefusesWhatIsNotACommand) {
  for (const char* line :
       {"", "ignition", "ignition maybe", "set 17", "set 17 100", "set xx 00", "fault",
        "fault loud", "fault drop -1", "fault drop two", "quit now", "reboot"}) {
    std::string error;
    EXPECT_FALSE(ParseSimCommand(line, &error).has_value()) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
}

}  // namespace
}  // namespace kline::sim
