// The interface check against the simulated wire on virtual time, one case per fault.
#include "service/cable_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "link/testing/scripted_line.h"
#include "sim/simulated_line.h"

namespace kline {
namespace {

struct SimCase {
  const char* name;
  EcuType type;
  int ignition_delay_ms;
  std::function<void(sim::SimulatedLine&)> fault;
  CableVerdict verdict;
  const char* words;
};

TEST(CableCheckTest, EachFaultOfTheSimulatedLineGivesItsVerdict) {
  const auto fault = [](sim::FaultKind kind) {
    return [kind](sim::SimulatedLine& line) { line.InjectFault(kind); };
  };
  const SimCase cases[] = {
      {"healthy, key off", EcuType::k15m, 500, nullptr, CableVerdict::kEchoOk, "correctly"},
      {"P8 awake, ignores the pattern", EcuType::kP8, 0, nullptr, CableVerdict::kEchoOk,
       "correctly"},
      {"silent ECU", EcuType::k15m, 500, fault(sim::FaultKind::kSilent), CableVerdict::kEchoOk,
       "correctly"},
      {"garbage answers", EcuType::kP8, 0, fault(sim::FaultKind::kGarbage), CableVerdict::kEchoOk,
       "correctly"},
      {"ignition off", EcuType::k15m, 500, fault(sim::FaultKind::kIgnitionOff),
       CableVerdict::kEchoOk, "correctly"},
      {"no echo", EcuType::k15m, 500, fault(sim::FaultKind::kNoEcho), CableVerdict::kNoEcho,
       "not plugged in"},
      {"stray byte", EcuType::k15m, 500, fault(sim::FaultKind::kStrayByte),
       CableVerdict::kExtraBytes, "something else is talking"},
      {"key-on identification", EcuType::k15m, 0, nullptr, CableVerdict::kExtraBytes,
       "ignition is on"},
      {"cable pulled", EcuType::k15m, 500, fault(sim::FaultKind::kCablePulled),
       CableVerdict::kNotOpened, "does not exist"},
  };
  for (const SimCase& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualClock clock;
    sim::SimulatedLine line(clock, sim::BuiltinProfile(c.type), c.ignition_delay_ms);
    KLinePort port(line, clock);
    if (c.fault) c.fault(line);
    const CableCheckResult result = CheckCable(port, "/dev/ttyUSB0");
    EXPECT_EQ(result.verdict, c.verdict) << result.sentence;
    EXPECT_NE(result.sentence.find(c.words), std::string::npos) << result.sentence;
    EXPECT_FALSE(port.IsOpen());
    // Only the pattern went out, and the ECU answered none of it: what it sent, if anything,
    // were its own key-on bytes.
    for (const sim::TraceEntry& e : line.trace()) {
      if (e.dir == sim::TraceEntry::Dir::kPcSent) {
        EXPECT_NE(std::find(kCablePattern.begin(), kCablePattern.end(), e.byte),
                  kCablePattern.end());
      }
      if (c.verdict == CableVerdict::kEchoOk) {
        EXPECT_NE(e.dir, sim::TraceEntry::Dir::kEcuSent);
      }
    }
    const bool answered = std::any_of(line.notes().begin(), line.notes().end(), [](auto& n) {
      return n.text.find("diagnostic") != std::string::npos ||
             n.text.find("wake-up accepted") != std::string::npos;
    });
    EXPECT_FALSE(answered);
  }
}

TEST(CableCheckTest, GarbledEchoAndRefusedPortAreToldApart) {
  VirtualClock clock;
  kline::testing::ScriptedLine line(clock);
  KLinePort port(line, clock);
  for (uint8_t byte : kCablePattern) {
    line.Answer(byte, {{2, {static_cast<uint8_t>(byte ^ 0x10)}}});
  }
  CableCheckResult result = CheckCable(port, "/dev/ttyUSB0");
  EXPECT_EQ(result.verdict, CableVerdict::kEchoGarbled);
  EXPECT_NE(result.sentence.find("1200 and 7812 baud"), std::string::npos) << result.sentence;

  result = CheckCable(port, "COM");
  EXPECT_EQ(result.verdict, CableVerdict::kNotOpened);
  EXPECT_NE(result.sentence.find("is not a serial port"), std::string::npos) << result.sentence;

  port.Open("/dev/ttyUSB0");
  EXPECT_EQ(CheckCable(port, "/dev/ttyUSB0").verdict, CableVerdict::kNotOpened);
  EXPECT_TRUE(port.IsOpen()) << "a session's port is left alone";
}

}  // namespace
}  // namespace kline
