#include "sim/ecu_model.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "sim/live_values.h"
#include "sim/wire.h"

namespace kline::sim {

namespace {

constexpr int32_t kStartBaud = 1200;
// How long a latched low byte stays valid after its high byte was read.
constexpr int64_t kLatchUs = 200000;

}  // namespace

EcuModel::EcuModel(Profile profile) : profile_(std::move(profile)) {}

void EcuModel::Send(int64_t earliest_us, uint8_t byte, bool answer) {
  output_.push_back(Transmission{earliest_us, byte, baud_, answer, false});
}

void EcuModel::Note(int64_t now_us, std::string text) {
  notes_.push_back(TraceNote{now_us, std::move(text)});
}

std::vector<EcuModel::Transmission> EcuModel::TakeOutput() { return std::exchange(output_, {}); }

std::vector<TraceNote> EcuModel::TakeNotes() { return std::exchange(notes_, {}); }

void EcuModel::SetIgnition(int64_t now_us, bool on) {
  if (on == ignition()) return;
  switch_at_us_.reset();
  final_at_us_.reset();
  latched_.clear();
  wake_index_ = 0;
  if (!on) {
    mode_ = EcuMode::kOff;
    Note(now_us, "ignition off");
    return;
  }
  ignition_us_ = now_us;
  if (profile_.needs_wake_up) {
    mode_ = EcuMode::kWaitingForWakeUp;
    baud_ = kStartBaud;
  } else {
    mode_ = EcuMode::kWorking;
    baud_ = profile_.working_baud;
  }
  Note(now_us, "ignition on");
  const int64_t start = now_us + int64_t{profile_.iso_delay_ms} * 1000;
  for (size_t i = 0; i < profile_.iso_code.size(); ++i) {
    const bool last = i > 0 && i + 1 == profile_.iso_code.size();
    const int64_t gap_us = last ? int64_t{profile_.iso_last_gap_ms} * 1000 : 0;
    // Back to back, but for the last byte, which starts its gap after the one before ends.
    Send(last && gap_us > 0 ? start + static_cast<int64_t>(i) * ByteTimeUs(baud_) + gap_us : start,
         profile_.iso_code[i], false);
  }
}

void EcuModel::Receive(int64_t now_us, uint8_t byte, int32_t baud) {
  if (!ignition()) return;
  if (!RatesMatch(baud, baud_)) {
    Note(now_us, "ECU listening at " + std::to_string(baud_) + " baud heard a byte sent at " +
                     std::to_string(baud) + ": ignored");
    return;
  }
  switch (mode_) {
    case EcuMode::kWaitingForWakeUp:
      WakeUpByte(now_us, byte);
      break;
    case EcuMode::kSwitching:
      Note(now_us, "byte " + HexByte(byte) + " ignored while switching to the working rate");
      break;
    case EcuMode::kWorking:
      Request(now_us, byte);
      break;
    case EcuMode::kDiagnostic:
      DiagnosticRequest(now_us, byte);
      break;
    case EcuMode::kOff:
      break;
  }
}

void EcuModel::WakeUpByte(int64_t now_us, uint8_t byte) {
  const std::vector<uint8_t>& sequence = profile_.wake_up_bytes;
  if (wake_index_ > 0) {
    const int64_t gap_ms = (now_us - last_wake_us_) / 1000;
    if (gap_ms < profile_.wake_up_min_gap_ms || gap_ms > profile_.wake_up_max_gap_ms) {
      Note(now_us, "wake-up refused: " + std::to_string(gap_ms) + " ms before byte " +
                       HexByte(byte) + ", allowed " + std::to_string(profile_.wake_up_min_gap_ms) +
                       " to " + std::to_string(profile_.wake_up_max_gap_ms));
      wake_index_ = 0;
    } else if (byte != sequence[wake_index_]) {
      Note(now_us, "wake-up refused: byte " + HexByte(byte) + " where " +
                       HexByte(sequence[wake_index_]) + " belongs");
      wake_index_ = 0;
    } else {
      ++wake_index_;
    }
  } else if (byte != sequence[0]) {
    Note(now_us, "byte " + HexByte(byte) + " ignored while waiting for the wake-up");
  }
  // A refused sequence may be followed at once by a fresh start.
  if (wake_index_ == 0 && byte == sequence[0]) wake_index_ = 1;
  if (wake_index_ == 0) return;
  last_wake_us_ = now_us;
  if (wake_index_ < sequence.size()) return;
  wake_index_ = 0;
  mode_ = EcuMode::kSwitching;
  switch_at_us_ = now_us + int64_t{profile_.wake_up_switch_ms} * 1000;
  Note(now_us, "wake-up accepted");
}

void EcuModel::Request(int64_t now_us, uint8_t byte) {
  const int64_t at = now_us + profile_.latency_us;
  if (byte == 0xAA) {
    mode_ = EcuMode::kDiagnostic;
    Note(now_us, "diagnostic mode entered");
    Send(at, profile_.diag_enter_answer, true);
    return;
  }
  if (std::optional<uint8_t> answer = AnswerTo(byte, now_us)) {
    Send(at, *answer, true);
  } else {
    Note(now_us, "request " + HexByte(byte) + " has no answer");
  }
}

void EcuModel::DiagnosticRequest(int64_t now_us, uint8_t byte) {
  const int64_t at = now_us + profile_.latency_us;
  if (byte == 0xFF) {
    mode_ = EcuMode::kWorking;
    final_at_us_.reset();
    Note(now_us, "diagnostic mode left");
    Send(at, profile_.diag_leave_answer, true);
    return;
  }
  if (byte == 0xAA) {
    Send(at, profile_.diag_enter_answer, true);
    return;
  }
  const auto test = profile_.tests.find(byte);
  if (test == profile_.tests.end()) {
    Request(now_us, byte);
    return;
  }
  Note(now_us, "actuator test " + HexByte(byte) + " started");
  Send(at, test->second.first, true);
  if (test->second.final_answer) {
    final_at_us_ = at + int64_t{test->second.delay_ms} * 1000;
    final_byte_ = *test->second.final_answer;
  } else {
    final_at_us_.reset();
  }
}

std::optional<int64_t> EcuModel::NextDeadline() const {
  if (switch_at_us_ && final_at_us_) return std::min(*switch_at_us_, *final_at_us_);
  return switch_at_us_ ? switch_at_us_ : final_at_us_;
}

void EcuModel::OnTime(int64_t now_us) {
  if (switch_at_us_ && *switch_at_us_ <= now_us) {
    switch_at_us_.reset();
    mode_ = EcuMode::kWorking;
    baud_ = profile_.working_baud;
    Note(now_us, "working mode at " + std::to_string(baud_) + " baud");
  }
  if (final_at_us_ && *final_at_us_ <= now_us) {
    final_at_us_.reset();
    Note(now_us, "actuator test final answer " + HexByte(final_byte_));
    Send(now_us, final_byte_, false);
  }
}

void EcuModel::SetAnswer(uint8_t request, uint8_t answer) { overrides_[request] = answer; }

std::optional<uint8_t> EcuModel::AnswerTo(uint8_t request, int64_t now_us) {
  if (const auto fixed = overrides_.find(request); fixed != overrides_.end()) return fixed->second;
  if (const auto latched = latched_.find(request); latched != latched_.end()) {
    const auto [at, byte] = latched->second;
    latched_.erase(latched);
    if (now_us - at <= kLatchUs) return byte;
  }
  for (const LiveChannel& channel : profile_.live) {
    const int offset = request - channel.request;
    if (offset < 0 || offset >= LiveRequestCount(channel.kind)) continue;
    const double t_s = static_cast<double>(now_us - ignition_us_) / 1e6;
    const std::array<uint8_t, 2> raw =
        RawBytes(channel.kind, LiveValue(channel, profile_.rev_cycle, t_s), profile_.type);
    if (offset == 0 && LiveRequestCount(channel.kind) == 2) {
      latched_[static_cast<uint8_t>(request + 1)] = {now_us, raw[1]};
    }
    return raw[offset];
  }
  if (const auto fixed = profile_.answers.find(request); fixed != profile_.answers.end()) {
    return fixed->second;
  }
  return std::nullopt;
}

}  // namespace kline::sim
