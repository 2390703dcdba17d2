// The interface check against the simulated wire and a scripted one, on virtual time.
#include "service/cable_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <tuple>

#include "link/testing/scripted_line.h"
#include "sim/simulated_line.h"

namespace kline {
namespace {

// The verdict for each fault is checked through the real port in the pseudo-terminal test;
// here, the cases only virtual time shows: an ECU already awake, one that speaks at key-on, and
// what went out on the wire.
TEST(CableCheckTest, OnlyThePatternGoesOutAndTheEcuAnswersNone) {
  using Case = std::tuple<const char*, EcuType, int, std::optional<sim::FaultKind>, CableVerdict,
                          const char*>;
  const Case cases[] = {
      {"healthy, key off", EcuType::k15m, 500, std::nullopt, CableVerdict::kEchoOk, "correctly"},
      {"P8 awake, ignores the pattern", EcuType::kP8, 0, std::nullopt, CableVerdict::kEchoOk,
       "correctly"},
      {"stray byte", EcuType::k15m, 500, sim::FaultKind::kStrayByte, CableVerdict::kExtraBytes,
       "something else is talking"},
      {"key-on identification", EcuType::k15m, 0, std::nullopt, CableVerdict::kExtraBytes,
       "ignition is on"},
  };
  for (const auto& [name, type, ignition_delay_ms, fault, verdict, words] : cases) {
    SCOPED_TRACE(name);
    VirtualClock clock;
    sim::SimulatedLine line(clock, sim::BuiltinProfile(type), ignition_delay_ms);
    KLinePort port(line, clock);
    if (fault) line.InjectFault(*fault);
    const CableCheckResult result = CheckCable(port, "/dev/ttyUSB0");
    EXPECT_EQ(result.verdict, verdict) << result.sentence;
    EXPECT_NE(result.sentence.find(words), std::string::npos) << result.sentence;
    EXPECT_FALSE(port.IsOpen());
    // Only the pattern went out, and the ECU answered none of it: what it sent, if anything,
    // were its own key-on bytes.
    for (const TraceEntry& e : line.trace()) {
      if (e.dir == TraceEntry::Dir::kPcSent) {
        EXPECT_NE(std::find(kCablePattern.begin(), kCablePattern.end(), e.byte),
                  kCablePattern.end());
      }
      if (verdict == CableVerdict::kEchoOk) {
        EXPECT_NE(e.dir, TraceEntry::Dir::kEcuSent);
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

  // An adapter that holds bytes for the default 16 ms latency timer echoes correctly but late.
  for (uint8_t byte : kCablePattern) line.Answer(byte, {{16, {byte}}});
  result = CheckCable(port, "/dev/ttyUSB0");
  EXPECT_EQ(result.verdict, CableVerdict::kEchoOk);
  EXPECT_NE(result.sentence.find("Latency Timer"), std::string::npos) << result.sentence;

  port.Open("/dev/ttyUSB0");
  EXPECT_EQ(CheckCable(port, "/dev/ttyUSB0").verdict, CableVerdict::kNotOpened);
  EXPECT_TRUE(port.IsOpen()) << "a session's port is left alone";
}

}  // namespace
}  // namespace kline
