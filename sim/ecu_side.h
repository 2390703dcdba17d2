// What the line model needs from the ECU's end of the wire: the bytes it hears, the
// ignition, its timers, and what it wants to send. The profile-driven model and the replay
// of a recorded conversation both sit behind it, so both share one wire.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "link/ecu_type.h"
#include "link/trace.h"

namespace kline::sim {

enum class EcuMode { kOff, kWaitingForWakeUp, kSwitching, kWorking, kDiagnostic };

// What the interface does with a byte the PC writes: echo it as it should, keep it to itself,
// or be gone with a pulled cable from then on; and the bytes it hands the PC just before the
// echo (a stray).
enum class InterfaceAct { kEchoes, kNoEcho, kGone };
struct InterfaceBehaviour {
  InterfaceAct act = InterfaceAct::kEchoes;
  std::vector<uint8_t> before_echo;
};

class EcuSide {
 public:
  // A byte the ECU wants to send, not before `earliest_us`.
  struct Transmission {
    int64_t earliest_us = 0;
    uint8_t byte = 0;
    int32_t baud = 0;
    bool answer = false;   // the reply to the request just heard (not a spontaneous byte)
    bool garbled = false;  // not what the ECU meant to say (a replayed garbled byte)
    bool operator==(const Transmission&) const = default;
  };

  virtual ~EcuSide() = default;

  virtual void SetIgnition(int64_t now_us, bool on) = 0;
  // A byte that finished arriving at `now_us`, sent at `baud`.
  virtual void Receive(int64_t now_us, uint8_t byte, int32_t baud) = 0;
  // When OnTime has work next.
  virtual std::optional<int64_t> NextDeadline() const = 0;
  virtual void OnTime(int64_t now_us) = 0;
  virtual std::vector<Transmission> TakeOutput() = 0;
  virtual std::vector<TraceNote> TakeNotes() = 0;
  // The simulated ECU leaves the interface to the line's faults; a replay does what the
  // interface did in its recording.
  virtual InterfaceBehaviour InterfaceFor(uint8_t /*byte*/, int32_t /*baud*/) const { return {}; }
  // Fixes the answer to a request from now on.
  virtual void SetAnswer(uint8_t request, uint8_t answer) = 0;

  virtual EcuMode mode() const = 0;
  // The rate the ECU listens and talks at now.
  virtual int32_t baud() const = 0;
  virtual EcuType type() const = 0;
  bool ignition() const { return mode() != EcuMode::kOff; }
};

}  // namespace kline::sim
