// The engine on virtual time against the simulated ECU, driven as the engine's thread would
// drive it (session timer ticks, commands as they arrive), with a script of commands, stops
// and pulled cables at chosen moments.
#pragma once

#include <QObject>
#include <cstdint>
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
};
inline constexpr int kUserActionCount = 12;

class EngineRig {
 public:
  explicit EngineRig(EcuType type, int ignition_delay_ms = 500);
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
