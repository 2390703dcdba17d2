// The engine against the simulated ECU on virtual time, with commands, stops, pulled cables
// and the ignition switched at moments the fuzzer chooses, and an ECU that answers early, late
// or not at all, with trailing or stray bytes and a late key-on byte, as the fuzzer draws it;
// the wire's invariants must hold on the simulator's trace whatever the order. Any violation
// aborts with the actions and the reason.
#include <QCoreApplication>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "engine/testing/engine_rig.h"

namespace {

// After the type byte, four bytes draw the ECU's behaviour. Each action takes three bytes: how long
// after the previous one (in 4 ms steps), which action, and its argument. A few actions within
// seconds reach every state worth stopping in (a woken 15m is polling about 1.5 s after the port
// opens) while each input stays cheap.
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
  constexpr size_t kHead = 5;
  if (size < kHead) return 0;
  std::mt19937 random(static_cast<uint32_t>(data[1]) | static_cast<uint32_t>(data[2]) << 8 |
                      static_cast<uint32_t>(data[3]) << 16 | static_cast<uint32_t>(data[4]) << 24);
  testing::EngineRig rig(kAllEcuTypes[data[0] % 4], /*ignition_delay_ms=*/50,
                         testing::EcuBehaviour::Draw(random));
  // One channel polled: live steps are where the time goes, and one exercises them all.
  rig.choices.channels.fill(false);
  rig.choices.channels[6] = true;  // throttle, which every type polls
  // The calibration read is the information read again with other bytes; a slow ECU makes
  // each of its eight requests wait seconds of virtual time.
  rig.choices.calibration = false;
  int64_t at = 0;
  rig.Plan(0, UserAction::kConnect);
  for (size_t i = kHead; i + 2 < size && (i - kHead) / 3 < kMaxActions; i += 3) {
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
