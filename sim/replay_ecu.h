// An ECU that plays back the ECU's side of a recorded conversation: what it sent by itself
// after key-on, and for each request the bytes it answered at that point of the recording,
// after the recorded delay and at the recorded rate. Where the PC departs from the recording
// it says so, because a departure is a finding.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/trace_reader.h"
#include "sim/ecu_side.h"

namespace kline::sim {

class ReplayEcu : public EcuSide {
 public:
  // How many departures reach `report`; the trace notes keep them all.
  static constexpr int kMaxReported = 20;

  struct Options {
    // When the recording runs out, play its live data again from the first live request.
    bool loop = false;
    // Told each departure from the recording in one sentence (stderr, for the programs).
    std::function<void(const std::string&)> report;
  };

  // Null, with the reason in `error`, when the trace holds no byte to replay.
  static std::unique_ptr<ReplayEcu> FromTrace(const TraceFile& trace, EcuType type, Options options,
                                              std::string* error);

  void SetIgnition(int64_t now_us, bool on) override;
  void Receive(int64_t now_us, uint8_t byte, int32_t baud) override;
  std::optional<int64_t> NextDeadline() const override { return std::nullopt; }
  void OnTime(int64_t /*now_us*/) override {}
  std::vector<Transmission> TakeOutput() override;
  std::vector<TraceNote> TakeNotes() override;
  // The recording decides every answer; a fixed one is refused with a note.
  void SetAnswer(uint8_t request, uint8_t answer) override;
  InterfaceBehaviour InterfaceFor(uint8_t byte, int32_t baud) const override;

  EcuMode mode() const override { return on_ ? EcuMode::kWorking : EcuMode::kOff; }
  int32_t baud() const override;
  EcuType type() const override { return type_; }

 private:
  struct Reply {
    int64_t delay_us = 0;  // from the request's start bit (key-on for an unasked byte)
    uint8_t byte = 0;
    int32_t baud = 0;
    bool garbled = false;
  };
  struct Step {
    uint8_t request = 0;
    int32_t baud = 0;
    int64_t time_us = 0;
    size_t line = 0;
    std::vector<Reply> replies;
    // What the interface did: kNoEcho until the echo is found; the ECU bytes that came
    // before the echo are the interface's too.
    InterfaceBehaviour interface {
      InterfaceAct::kNoEcho, {}
    };
    // The ECU could not read the request (a collision, another rate; only the simulator's
    // trace says so).
    bool unheard = false;
  };

  ReplayEcu(EcuType type, Options options) : type_(type), options_(std::move(options)) {}
  void Note(int64_t now_us, std::string text);
  void Depart(int64_t now_us, const std::string& text);
  std::optional<size_t> Find(size_t from, size_t to, uint8_t byte, int32_t baud) const;
  // The step that answers the PC's byte: the next one if it matches, else a later one.
  std::optional<size_t> Match(uint8_t byte, int32_t baud) const;
  void Play(const Step& step, int64_t start_us, int64_t now_us);
  std::string Expected() const;
  // A recording that starts after its wake-up: says so, and for an ECU that talks at key-on
  // and was woken to another rate, lets its type's usual key-on bytes stand in, or the PC
  // would never wake it to the rate of the recorded requests.
  void StartWithoutWakeUp();
  bool PastGap(size_t found) const;

  EcuType type_;
  Options options_;
  std::vector<Reply> unasked_;
  std::vector<Step> steps_;
  // Where each request byte comes in steps_, in order: a departure looks up the next
  // same request without walking a long recording.
  std::array<std::vector<size_t>, 256> by_request_;
  size_t live_start_ = 0;  // steps_.size() when the recording has no live data
  // The step before which the recording's cable was pulled; none when it never was.
  size_t cable_step_ = SIZE_MAX;
  // The steps that follow bytes the recording left out, in order: the PC finds the
  // conversation resumed there, which is no departure.
  std::vector<size_t> gaps_;

  bool on_ = false;
  size_t next_ = 0;
  int64_t last_us_ = 0;  // the time of the last call that had one, for notes without one
  int reported_ = 0;
  std::vector<Transmission> output_;
  std::vector<TraceNote> notes_;
};

}  // namespace kline::sim
