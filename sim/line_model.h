// The wire between the PC side and the simulated ECU: the interface's echo of every byte
// the PC sends, one byte time per byte at the sender's rate, half-duplex ordering, garbling
// when the ends disagree on the rate or talk at once, injected faults, and the line trace.
// Purely a function of its inputs and their times, so a script always gives the same trace.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/serial_device.h"
#include "link/trace.h"
#include "sim/ecu_model.h"
#include "sim/profile.h"

namespace kline::sim {

enum class FaultKind {
  kSilent,       // the ECU sends nothing at all; the echo still comes
  kNoEcho,       // the interface stops echoing the PC's bytes
  kStrayByte,    // a byte (arg, 0x00 by default) arrives just before each echo
  kDropAnswer,   // the ECU does not answer the arg-th request from now (1 = the next one)
  kLateAnswer,   // every answer comes arg ms later than it should (3100 when arg <= 0)
  kExtraBytes,   // arg bytes 0x00 (1 when arg <= 0) follow every answer
  kGarbage,      // every answer is replaced by a wrong byte
  kIgnitionOff,  // the ignition is switched off now
  kCablePulled,  // the device vanishes: nothing passes until the faults are cleared
  kWrongRate,    // the adapter runs at arg baud (9600 when arg <= 0) whatever the PC sets
};

// Names for the command line: "silent", "no-echo", "stray", "drop", "late", "extra",
// "garbage", "ignition-off", "cable", "rate".
std::string_view FaultName(FaultKind kind);
std::optional<FaultKind> FaultFromName(std::string_view name);

class LineModel {
 public:
  explicit LineModel(Profile profile);
  // Another ECU behind the same wire (a replayed recording).
  explicit LineModel(std::unique_ptr<EcuSide> ecu);

  // Every call gives the current time, never earlier than the one before; the line is first
  // brought up to that time.
  void AdvanceTo(int64_t now_us);
  void SetPcBaud(int64_t now_us, int32_t baud);
  // The PC side opened or closed the port: a note in the trace; the wire carries on.
  void PcPort(int64_t now_us, bool open);
  // The byte starts now, or when the PC's previous byte has left the wire.
  void PcWrite(int64_t now_us, uint8_t byte);
  void SetIgnition(int64_t now_us, bool on);
  // Ignition on at `at_us` (replacing any earlier plan); nullopt drops the plan.
  void PlanIgnition(std::optional<int64_t> at_us);
  void SetAnswer(uint8_t request, uint8_t answer) { ecu_->SetAnswer(request, answer); }
  void InjectFault(int64_t now_us, FaultKind kind, int arg = 0);
  // Every fault is gone and a pulled cable is back in.
  void ClearFaults();

  // The bytes that reached the PC's receiver since the last call, in arrival order.
  Bytes TakeReceived();
  // When something next happens on the line without further input.
  std::optional<int64_t> NextEventUs() const;

  int64_t now_us() const { return now_us_; }
  int32_t pc_baud() const { return pc_baud_; }
  // When the PC's last byte has left (or will have left) the wire.
  int64_t pc_free_us() const { return pc_free_us_; }
  bool cable_pulled() const { return cable_pulled_; }
  const EcuSide& ecu() const { return *ecu_; }
  const std::vector<TraceEntry>& trace() const { return trace_; }
  const std::vector<TraceNote>& notes() const { return notes_; }
  // Forgets trace entries and notes older than `before_us`, so that a long run does not
  // grow without bound; gives how many entries and notes went.
  std::pair<size_t, size_t> ForgetTraceBefore(int64_t before_us);

 private:
  struct Segment {
    int64_t start_us = 0;
    int64_t end_us = 0;
    uint8_t byte = 0;
    uint8_t wire_value = 0;  // what the wire carried: colliding bytes pull bits low
    int32_t baud = 0;
    bool from_pc = false;
    bool collided = false;
    bool bogus = false;        // not what the ECU meant to say (injected)
    bool drop_answer = false;  // the ECU's answer to this request is dropped
    bool echo = true;          // the interface echoes this byte (unless no_echo_)
    size_t trace_index = 0;    // counted from the first entry ever, forgotten ones included
  };
  enum class EventKind { kStart, kEnd, kStray };
  struct Event {
    EventKind kind;
    uint64_t segment = 0;
    uint8_t byte = 0;
  };

  void Note(int64_t time_us, std::string text);
  void Handle(int64_t time_us, const Event& event);
  void StartSegment(Segment& segment);
  void EndPcSegment(const Segment& segment);
  void EndEcuSegment(const Segment& segment);
  void AddSegment(Segment segment);
  void SendEcuByte(int64_t earliest_us, uint8_t byte, int32_t baud, bool bogus);
  void DrainEcu(int64_t now_us, bool drop_answer);
  void CancelPlannedEcuBytes(int64_t now_us);
  void MarkGarbled(const Segment& segment, bool garbled);

  std::unique_ptr<EcuSide> ecu_;
  int64_t now_us_ = 0;
  int32_t pc_baud_ = 1200;  // the rate the adapter really runs at
  int32_t pc_asked_baud_ = 1200;
  std::optional<int32_t> forced_baud_;
  int64_t pc_free_us_ = 0;
  int64_t ecu_free_us_ = 0;
  uint64_t next_segment_ = 1;
  std::map<uint64_t, Segment> segments_;  // on the wire or planned
  std::multimap<int64_t, Event> events_;  // equal times run in the order they were added
  std::optional<int64_t> ignition_plan_us_;

  bool silent_ = false;
  bool no_echo_ = false;
  std::optional<uint8_t> stray_;
  std::optional<int64_t> drop_at_request_;
  int64_t late_us_ = 0;
  int extra_bytes_ = 0;
  bool garbage_ = false;
  bool cable_pulled_ = false;
  int64_t requests_ = 0;

  Bytes received_;
  std::vector<TraceEntry> trace_;
  size_t forgotten_entries_ = 0;
  std::vector<TraceNote> notes_;
};

}  // namespace kline::sim
