// The wire's invariants under random use: commands, stops and pulled cables at random
// moments, for each ECU type, checked on the simulator's trace. And the checks themselves,
// each shown to catch the fault it is for.
#include <gtest/gtest.h>

#include <random>

#include "engine/testing/engine_rig.h"
#include "engine/testing/wire_invariants.h"
#include "service/actuator_tests.h"

namespace kline::testing {
namespace {

using Dir = TraceEntry::Dir;

constexpr int64_t kMs = 1000;

TraceEntry Pc(int64_t ms, uint8_t byte, int32_t baud = 7812) {
  return {ms * kMs, Dir::kPcSent, byte, baud, false};
}
TraceEntry Ecu(int64_t ms, uint8_t byte, int32_t baud = 7812) {
  return {ms * kMs, Dir::kEcuSent, byte, baud, false};
}
TraceEntry Echo(int64_t ms, uint8_t byte, int32_t baud = 7812) {
  return {ms * kMs, Dir::kEcho, byte, baud, false};
}
TraceNote Said(int64_t ms, const char* text) { return {ms * kMs, text}; }

struct BadWire {
  const char* name;
  EcuType type;
  std::vector<TraceEntry> trace;
  std::vector<TraceNote> notes;
  int64_t stop_ms;
  const char* expected;  // part of the one complaint
};

// Each wire breaks one rule the way the program once did (or could).
TEST(WireInvariantsTest, EachRuleCatchesItsFault) {
  const BadWire cases[] = {
      {"wake-up bytes back to back after a stop",
       EcuType::k15m,
       {Pc(1000, 0x0F, 1200), Pc(1009, 0xAA, 1200)},
       {Said(0, "PC side opened the port")},
       -1,
       "wake-up byte AA"},
      {"no pause after the wake-up",
       EcuType::k15Rc,
       {Pc(1000, 0x0F, 1200), Pc(1110, 0xAA, 1200), Pc(1220, 0xCC, 1200), Pc(1240, 0x17)},
       {Said(0, "PC side opened the port"), Said(1230, "wake-up accepted")},
       -1,
       "request 17"},
      {"a request without its 8 ms",
       EcuType::k16m,
       {Pc(1000, 0x01, 1200), Echo(1008, 0x01, 1200), Ecu(1010, 0x20, 1200), Pc(1020, 0x02, 1200)},
       {},
       -1,
       "request 02"},
      {"rate switched with a byte on the wire",
       EcuType::k15m,
       {Pc(1000, 0xCC, 1200)},
       {Said(1004, "PC side set to 7812 baud")},
       -1,
       "still on the wire"},
      {"port closed in diagnostic mode",
       EcuType::k15m,
       {Pc(1000, 0xAA)},
       {Said(1002, "diagnostic mode entered"), Said(1500, "PC side closed the port")},
       -1,
       "diagnostic mode (no FF"},
      {"a live request while a test holds the port",
       EcuType::k15m,
       {Pc(1000, 0xAA), Echo(1001, 0xAA), Ecu(1003, 0xFF), Pc(1100, 0x01)},
       {Said(1002, "diagnostic mode entered")},
       -1,
       "request 01 while the ECU is in diagnostic mode"},
      {"a test request outside diagnostic mode",
       EcuType::k15m,
       {Pc(1000, 0x80)},
       {},
       -1,
       "outside diagnostic mode"},
      {"a request after the stop",
       EcuType::k15m,
       {Pc(1000, 0x01), Echo(1001, 0x01), Ecu(1003, 0x20), Pc(1100, 0x02)},
       {},
       1050,
       "sent after the stop"},
      {"a request 5 ms after an extra byte behind the answer",
       EcuType::k15m,
       {Pc(1000, 0x01), Echo(1001, 0x01), Ecu(1003, 0x20), Ecu(1010, 0x00), Pc(1016, 0x02)},
       {},
       -1,
       "after the end of the last ECU byte 00"},
      {"a request before the answer behind a stray byte",
       EcuType::k15m,
       {Pc(1000, 0x01), Ecu(1001, 0x42), Echo(1001, 0x01), Pc(1020, 0x02)},
       {},
       -1,
       "while the answer to 01 was still due"},
      {"FF into a test's late first answer",
       EcuType::k15m,
       {Pc(1000, 0xAA), Echo(1001, 0xAA), Ecu(1003, 0xFF), Pc(2000, 0x80), Echo(2001, 0x80),
        Pc(2300, 0xFF)},
       {Said(1002, "diagnostic mode entered")},
       2290,
       "while the answer to 80 was still due"},
      {"FF after the stop without AA",
       EcuType::k15m,
       {Pc(1000, 0x01), Echo(1001, 0x01), Ecu(1003, 0x20), Pc(1100, 0xFF)},
       {},
       1050,
       "sent after the stop"},
  };
  for (const BadWire& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> found =
        CheckWire(c.trace, c.notes, WireRun{.type = c.type, .stop_us = c.stop_ms * kMs});
    ASSERT_EQ(found.size(), 1u) << (found.empty() ? "" : found.front());
    EXPECT_NE(found.front().find(c.expected), std::string::npos) << found.front();
  }
}

// Whether the ECU was in diagnostic mode when the stop came, from the simulator's notes.
bool InDiagnosticModeAt(const EngineRig& rig, int64_t time_us) {
  bool in = false;
  for (const TraceNote& note : rig.line.notes()) {
    if (note.time_us > time_us) break;
    if (note.text == "diagnostic mode entered") in = true;
    if (note.text == "diagnostic mode left" || note.text == "PC side opened the port") in = false;
  }
  return in;
}

void ExpectCareful(const EngineRig& rig, const std::string& what) {
  ASSERT_TRUE(rig.finished) << what;
  const std::vector<std::string> violations = rig.Violations();
  if (violations.empty()) return;
  std::string actions;
  for (const std::string& line : rig.log) actions += line + "\n";
  ADD_FAILURE() << what << ": " << violations.front() << "\n" << actions << rig.TraceText();
}

// Random use, for each type and an ECU drawn for each run (slow, chatty, restarted): a dozen
// actions within 15 s, then whatever is left is stopped.
TEST(WirePropertyTest, RandomUseKeepsTheConversationCareful) {
  constexpr int kSeeds = 100;
  for (EcuType type : kAllEcuTypes) {
    for (int seed = 0; seed < kSeeds; ++seed) {
      std::mt19937 random(static_cast<uint32_t>(seed));
      EngineRig rig(type, 500, EcuBehaviour::Draw(random));
      rig.Plan(0, UserAction::kConnect);
      rig.PlanRandom(random, 12, 15'000'000);
      rig.Run(20000);
      rig.Finish();
      ExpectCareful(rig, std::string(EcuTypeName(type)) + " seed " + std::to_string(seed));
    }
  }
}

// A whole visit (connect, a test, the fault memory, back) cut by a stop at a random moment:
// the wake-up, identification, live data, entering diagnostic mode, a test's wait, leaving;
// the ECU drawn as above.
TEST(WirePropertyTest, StopAtAnyMomentOfAVisit) {
  constexpr int kSeeds = 60;
  int stopped_in_diagnostic_mode = 0;
  for (EcuType type : kAllEcuTypes) {
    std::mt19937 random(static_cast<uint32_t>(type));
    std::uniform_int_distribution<int64_t> when(0, 30'000'000);
    for (int seed = 0; seed < kSeeds; ++seed) {
      EngineRig rig(type, 500, EcuBehaviour::Draw(random));
      rig.Plan(0, UserAction::kConnect);
      rig.Plan(4'000'000, UserAction::kOpenTests);
      rig.Plan(5'000'000, UserAction::kRunTest, seed);
      rig.Plan(8'000'000, UserAction::kLeaveTests);
      rig.Plan(9'000'000, UserAction::kOpenDiag);
      rig.Plan(9'500'000, UserAction::kReadAll);
      rig.Plan(12'000'000, UserAction::kLeaveDiag);
      rig.Plan(when(random), UserAction::kStop);
      rig.Run(40000);
      rig.Finish();
      ExpectCareful(
          rig, std::string(EcuTypeName(type)) + " stop at " + std::to_string(rig.stop_us) + " us");
      if (InDiagnosticModeAt(rig, rig.stop_us)) ++stopped_in_diagnostic_mode;
    }
  }
  // The moments must include the one that matters most.
  EXPECT_GT(stopped_in_diagnostic_mode, 10);
}

// A test's first answer 1.5 s late and a stop 300 ms after its request: FF waits for that
// answer, then for its own pause, and the ECU leaves diagnostic mode.
TEST(WirePropertyTest, AStopWaitsForTheAnswerStillDue) {
  EngineRig rig(EcuType::k15m);
  rig.Plan(0, UserAction::kConnect);
  rig.Plan(4'000'000, UserAction::kOpenTests);
  rig.clock.At(4'900'000, [&] { rig.line.InjectFault(sim::FaultKind::kLateAnswer, 1500); });
  rig.Plan(5'000'000, UserAction::kRunTest, 0);
  // The test's request leaves 50 ms after the button; the stop comes while the wait runs.
  rig.Plan(5'350'000, UserAction::kStop);
  rig.Run(20000);
  ExpectCareful(rig, "late answer");
  int64_t request_us = -1;
  int64_t answer_us = -1;
  int64_t ff_us = -1;
  for (const TraceEntry& e : rig.line.trace()) {
    if (e.dir == Dir::kPcSent && e.byte == kActuatorTests[0].request_a) request_us = e.time_us;
    if (e.dir == Dir::kEcuSent && request_us > 0 && answer_us < 0) answer_us = e.time_us;
    if (e.dir == Dir::kPcSent && e.byte == kLeaveDiagnosticRequest) ff_us = e.time_us;
  }
  EXPECT_NEAR(static_cast<double>(rig.stop_us - request_us), 300'000, 5'000);
  EXPECT_GT(answer_us, request_us + 1'500'000);
  EXPECT_GE(ff_us, answer_us + ByteTimeUs(7812) + 8 * kMs);
  EXPECT_FALSE(rig.line.InDiagnosticMode());
}

}  // namespace
}  // namespace kline::testing
