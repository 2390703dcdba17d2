#include "engine/testing/engine_rig.h"

#include <algorithm>
#include <array>

#include "engine/testing/wire_invariants.h"
#include "service/actuator_tests.h"
#include "session/session_driver.h"

namespace kline::testing {

namespace {

struct Weighted {
  UserAction action;
  int weight;
};
// Connect and the windows' buttons often, a stop or a pulled cable seldom: most runs then
// reach the states where a stop matters before one comes.
constexpr Weighted kWeights[] = {
    {UserAction::kConnect, 6},     {UserAction::kDisconnect, 2}, {UserAction::kOpenTests, 4},
    {UserAction::kOpenDiag, 3},    {UserAction::kRunTest, 4},    {UserAction::kLeaveTests, 3},
    {UserAction::kLeaveDiag, 2},   {UserAction::kReadAll, 2},    {UserAction::kReadFault, 2},
    {UserAction::kChannel, 3},     {UserAction::kStop, 1},       {UserAction::kPullCable, 1},
    {UserAction::kIgnitionOff, 1}, {UserAction::kIgnitionOn, 2}, {UserAction::kDropAnswer, 2},
};

// Each profile is read once: a fuzzer makes a rig per input.
const sim::Profile& Profile(EcuType type) {
  static const std::array<sim::Profile, 4> kProfiles = {
      sim::BuiltinProfile(kAllEcuTypes[0]), sim::BuiltinProfile(kAllEcuTypes[1]),
      sim::BuiltinProfile(kAllEcuTypes[2]), sim::BuiltinProfile(kAllEcuTypes[3])};
  for (size_t i = 0; i < std::size(kAllEcuTypes); ++i) {
    if (kAllEcuTypes[i] == type) return kProfiles[i];
  }
  return kProfiles[0];
}

sim::Profile Behaving(EcuType type, const EcuBehaviour& ecu) {
  sim::Profile profile = Profile(type);
  profile.latency_us = ecu.latency_us;
  profile.iso_last_gap_ms = ecu.iso_last_gap_ms;
  return profile;
}

}  // namespace

EcuBehaviour EcuBehaviour::Draw(std::mt19937& random) {
  // Under a byte time at 7812 baud, the usual 2 ms, slow, just past the live wait and past
  // the longest wait of all (a test's 5 s).
  static constexpr int kLatenciesUs[] = {300,    2000,      2000,      2000,
                                         40'000, 1'500'000, 2'100'000, 5'200'000};
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  EcuBehaviour ecu;
  ecu.latency_us = kLatenciesUs[pick(static_cast<int>(std::size(kLatenciesUs)))];
  if (pick(4) == 0) ecu.extra_bytes = 1 + pick(3);
  // Noise, never the value of a request: a stray byte equal to the request arrives as its
  // echo would, and no PC could tell the two apart.
  static constexpr uint8_t kStrays[] = {0x00, 0x42, 0x55, 0x99, 0xF0};
  if (pick(4) == 0) ecu.stray = kStrays[pick(static_cast<int>(std::size(kStrays)))];
  if (pick(4) == 0) ecu.iso_last_gap_ms = 20 + pick(300);
  return ecu;
}

std::string EcuBehaviour::Describe() const {
  return "ECU answers after " + std::to_string(latency_us) + " us, " + std::to_string(extra_bytes) +
         " extra bytes, stray " + (stray ? std::to_string(*stray) : std::string("none")) +
         ", last key-on byte " + std::to_string(iso_last_gap_ms) + " ms late";
}

std::string ActionName(UserAction action) {
  static constexpr const char* kNames[kUserActionCount] = {
      "connect",        "disconnect",  "tests",      "diag",        "run test", "back from tests",
      "back from diag", "read all",    "read fault", "channel box", "stop",     "pull cable",
      "ignition off",   "ignition on", "drop answer"};
  return kNames[static_cast<int>(action)];
}

EngineRig::EngineRig(EcuType ecu, int ignition_delay_ms, const EcuBehaviour& behaviour)
    : type(ecu),
      line(clock, Behaving(ecu, behaviour), ignition_delay_ms),
      engine({.device = &line, .clock = &clock, .settings_path = {}, .settings = &settings}) {
  engine.Start();
  engine.driver()->SetDecimalSeparator('.');
  choices.port_field = QStringLiteral("1");
  choices.type = ecu;
  choices.channels.fill(true);
  QObject::connect(&engine, &DiagnosticEngine::Finished, [this] { finished = true; });
  if (behaviour.extra_bytes > 0)
    line.InjectFault(sim::FaultKind::kExtraBytes, behaviour.extra_bytes);
  if (behaviour.stray) line.InjectFault(sim::FaultKind::kStrayByte, *behaviour.stray);
  log.push_back(behaviour.Describe());
}

EngineRig::~EngineRig() = default;

void EngineRig::Do(UserAction action, int arg) {
  log.push_back(std::to_string(clock.NowUs()) + " us " + ActionName(action) + " " +
                std::to_string(arg));
  switch (action) {
    case UserAction::kConnect:
      return engine.Connect(choices);
    case UserAction::kDisconnect:
      return engine.Disconnect();
    case UserAction::kOpenTests:
      return engine.EnterTests();
    case UserAction::kOpenDiag:
      return engine.EnterFaultReading();
    case UserAction::kRunTest:
      // The custom code is a test request too (0x8A), never AA or FF.
      return engine.RunTest(arg % static_cast<int>(kActuatorTests.size()), QStringLiteral("8a"));
    case UserAction::kLeaveTests:
      return engine.LeaveDiagnosticMode();
    case UserAction::kLeaveDiag:
      return engine.LeaveFaultReading();
    case UserAction::kReadAll:
      return engine.ReadFaults(AllFaultBytes());
    case UserAction::kReadFault:
      return engine.ReadFaults({arg % 10});
    case UserAction::kChannel:
      return engine.SetChannel(arg % kChannelCount, (arg / kChannelCount) % 2 == 0);
    case UserAction::kStop:
      if (stop_us < 0) stop_us = clock.NowUs();
      return engine.RequestStop();
    case UserAction::kPullCable:
      return line.PullCable();
    case UserAction::kIgnitionOff:
      return line.SetIgnition(false);
    case UserAction::kIgnitionOn:
      return line.SetIgnition(true);
    case UserAction::kDropAnswer:
      return line.InjectFault(sim::FaultKind::kDropAnswer, arg % 4 + 1);
  }
}

void EngineRig::Plan(int64_t time_us, UserAction action, int arg) {
  clock.At(time_us, [this, action, arg] { Do(action, arg); });
}

void EngineRig::PlanRandom(std::mt19937& random, int count, int64_t span_us) {
  int total = 0;
  for (const Weighted& w : kWeights) total += w.weight;
  std::uniform_int_distribution<int64_t> when(0, span_us);
  std::uniform_int_distribution<int> pick(0, total - 1);
  std::uniform_int_distribution<int> arg(0, 99);
  for (int i = 0; i < count; ++i) {
    int chosen = pick(random);
    UserAction action = kWeights[0].action;
    for (const Weighted& w : kWeights) {
      if (chosen < w.weight) {
        action = w.action;
        break;
      }
      chosen -= w.weight;
    }
    Plan(clock.NowUs() + when(random), action, arg(random));
  }
}

void EngineRig::Run(int64_t ms) {
  const int64_t end = clock.NowUs() + ms * 1000;
  int64_t tick_due = -1;
  while (!finished && clock.NowUs() < end) {
    if (!engine.SessionTimerRunning()) {
      tick_due = -1;
    } else if (tick_due < 0) {
      tick_due = clock.NowUs() + int64_t{engine.SessionTimerInterval()} * 1000;
    }
    const int64_t next = tick_due < 0 ? end : std::min(end, tick_due);
    const int64_t action = clock.NextActionUs();
    if (action >= 0 && action <= next) {
      clock.RunNextAction();
      tick_due = -1;  // the action may have started the timer afresh
      continue;
    }
    clock.JumpTo(next);
    if (tick_due >= 0 && clock.NowUs() >= tick_due) {
      tick_due = -1;
      engine.TimerTick();
    }
  }
}

void EngineRig::Finish() {
  if (finished) return;
  Plan(clock.NowUs(), UserAction::kStop);
  Run(60000);
}

std::vector<std::string> EngineRig::Violations() const {
  return CheckWire(line.trace(), line.notes(), WireRun{.type = type, .stop_us = stop_us});
}

std::string EngineRig::TraceText() const {
  size_t entry = 0;
  size_t note = 0;
  return TraceCsvRows(line.trace(), &entry, line.notes(), &note, INT64_MAX);
}

}  // namespace kline::testing
