// The engine on virtual time against the simulated ECU, driven as the engine's thread would
// drive it (session timer ticks, commands as they arrive), with a script of commands, stops
// and pulled cables at chosen moments.
#pragma once

#include <QObject>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/diagnostic_engine.h"
#include "engine/testing/event_clock.h"
#include "link/ini_file.h"
#include "sim/simulated_line.h"

namespace kline::testing {

// What a user (or the operating system) can do to the engine.
enum class UserAction {
  kConnect,
  kDisconnect,
  kOpenTests,
  kOpenDiag,
  kRunTest,
  kLeaveTests,
  kLeaveDiag,
  kReadAll,
  kReadFault,
  kChannel,
  kStop,
  kPullCable,
  // What the ECU's side does meanwhile.
  kIgnitionOff,
  kIgnitionOn,
  kDropAnswer,  // the next answer (or the arg % 4 + 1-th) is lost
};
inline constexpr int kUserActionCount = 15;

// How the simulated ECU behaves throughout a run; the defaults are the profile's own ECU.
struct EcuBehaviour {
  int latency_us = 2000;         // from the end of a request to the start of its answer
  int extra_bytes = 0;           // after every answer
  std::optional<uint8_t> stray;  // just before every echo
  int iso_last_gap_ms = 0;       // before its last key-on byte

  // From under a byte time to beyond the longest wait, trailing and stray bytes, a late
  // key-on byte: each drawn now and then, most runs keep a few.
  static EcuBehaviour Draw(std::mt19937& random);
  std::string Describe() const;
};

class EngineRig {
 public:
  explicit EngineRig(EcuType type, int ignition_delay_ms = 500, const EcuBehaviour& ecu = {});
  ~EngineRig();

  // Plans `action` at `time_us`; `arg` picks the test, the fault byte or the channel.
  void Plan(int64_t time_us, UserAction action, int arg = 0);
  // Plans `count` random actions within `span_us` from now.
  void PlanRandom(std::mt19937& random, int count, int64_t span_us);
  // Runs the engine's loop on virtual time for `ms`, or until it has finished.
  void Run(int64_t ms);
  // Stops the engine (if nothing stopped it yet) and runs until the ending is over.
  void Finish();

  // What the wire's checks must say nothing against; empty when all held.
  std::vector<std::string> Violations() const;
  std::string TraceText() const;

  EcuType type;
  EventClock clock;
  sim::SimulatedLine line;
  IniText settings;
  DiagnosticEngine engine;
  PanelChoices choices;
  bool finished = false;
  int64_t stop_us = -1;
  std::vector<std::string> log;  // the actions as they ran, for a failure's message

 private:
  void Do(UserAction action, int arg);
};

std::string ActionName(UserAction action);

}  // namespace kline::testing
