// The ECU's side of the conversation: what it sends after ignition on, the wake-up it
// waits for, and the one-byte answer to each request in working and diagnostic mode.
// Driven by the bytes it hears and by time; it knows nothing of the wire.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "link/trace.h"
#include "sim/ecu_side.h"
#include "sim/profile.h"

namespace kline::sim {

class EcuModel : public EcuSide {
 public:
  explicit EcuModel(Profile profile);

  void SetIgnition(int64_t now_us, bool on) override;
  void Receive(int64_t now_us, uint8_t byte, int32_t baud) override;
  // The switch to the working rate, a test's final answer.
  std::optional<int64_t> NextDeadline() const override;
  void OnTime(int64_t now_us) override;

  std::vector<Transmission> TakeOutput() override;
  std::vector<TraceNote> TakeNotes() override;

  // Over whatever the profile says.
  void SetAnswer(uint8_t request, uint8_t answer) override;
  // The answer to a request at this moment, as the working-mode table has it.
  std::optional<uint8_t> AnswerTo(uint8_t request, int64_t now_us);

  EcuMode mode() const override { return mode_; }
  int32_t baud() const override { return baud_; }
  EcuType type() const override { return profile_.type; }
  const Profile& profile() const { return profile_; }

 private:
  void Send(int64_t earliest_us, uint8_t byte, bool answer);
  void Note(int64_t now_us, std::string text);
  void WakeUpByte(int64_t now_us, uint8_t byte);
  void Request(int64_t now_us, uint8_t byte);
  void DiagnosticRequest(int64_t now_us, uint8_t byte);

  Profile profile_;
  std::map<uint8_t, uint8_t> overrides_;
  EcuMode mode_ = EcuMode::kOff;
  int32_t baud_ = 1200;
  int64_t ignition_us_ = 0;
  size_t wake_index_ = 0;
  int64_t last_wake_us_ = 0;
  std::optional<int64_t> switch_at_us_;
  std::optional<int64_t> final_at_us_;
  uint8_t final_byte_ = 0;
  // The low byte of a two-byte value, kept from the moment its high byte was asked for, so
  // that the pair always describes one value.
  std::map<uint8_t, std::pair<int64_t, uint8_t>> latched_;
  std::vector<Transmission> output_;
  std::vector<TraceNote> notes_;
};

}  // namespace kline::sim
