// The engine against the simulated ECU on virtual time, with commands, stops and pulled
// cables at moments the fuzzer chooses; the wire's invariants must hold on the simulator's
// trace whatever the order. Any violation aborts with the actions and the reason.
#include <QCoreApplication>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/testing/engine_rig.h"

namespace {

// Each action takes three bytes: how long after the previous one (in 4 ms steps), which
// action, and its argument. A few actions within seconds reach every state worth stopping in
// (a woken 15m is polling about 1.5 s after the port opens) while each input stays cheap.
constexpr size_t kMaxActions = 6;
constexpr int64_t kStepUs = 4'000;
// The ending of the last action is given this long before the stop that every run ends with.
constexpr int64_t kSettleMs = 300;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kline;
  using testing::UserAction;
  if (size < 1) return 0;
  testing::EngineRig rig(kAllEcuTypes[data[0] % 4], /*ignition_delay_ms=*/50);
  // One channel polled: live steps are where the time goes, and one exercises them all.
  rig.choices.channels.fill(false);
  rig.choices.channels[6] = true;  // throttle, which every type polls
  int64_t at = 0;
  rig.Plan(0, UserAction::kConnect);
  for (size_t i = 1; i + 2 < size && i / 3 < kMaxActions; i += 3) {
    at += data[i] * kStepUs;
    rig.Plan(at, static_cast<UserAction>(data[i + 1] % testing::kUserActionCount), data[i + 2]);
  }
  rig.Run(at / 1000 + kSettleMs);
  rig.Finish();
  const std::vector<std::string> violations = rig.Violations();
  if (!rig.finished || !violations.empty()) {
    for (const std::string& line : rig.log) std::fprintf(stderr, "%s\n", line.c_str());
    std::fprintf(stderr, "%s\n", rig.finished ? violations.front().c_str() : "never finished");
    std::abort();
  }
  return 0;
}
