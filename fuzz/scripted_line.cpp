#include "scripted_line.h"

namespace kline::fuzz {

ScriptedLine::ScriptedLine(VirtualClock& clock, const uint8_t* data, size_t size)
    : clock_(clock), data_(data), size_(size) {}

uint8_t ScriptedLine::Next() { return pos_ < size_ ? data_[pos_++] : 0; }

// One control byte: the low 3 bits say how many bytes come (0..7), bit 3 pulls the cable
// when set together with bit 7; bit 4 with bit 7 (bit 3 clear) hangs the device up at the
// next read that finds bytes waiting, which then comes up short of what the count promised. Each
// byte then has a delay byte (in 4 ms steps) and a value.
void ScriptedLine::Schedule() {
  // The input is the whole conversation: once it is spent the line goes away, so that the
  // rest of the run does not wait out bounds that only the input's own silences should test.
  if (pos_ >= size_) {
    Lose();
    return;
  }
  const uint8_t control = Next();
  if ((control & 0x88) == 0x88) {
    Lose();
    return;
  }
  if ((control & 0x98) == 0x90) hang_up_at_read_ = true;
  int64_t at = clock_.NowUs();
  for (int i = 0; i < (control & 0x07); ++i) {
    at += Next() * 4000;
    incoming_.emplace_back(at, Next());
  }
}

bool ScriptedLine::Open(const std::string&, const LineSettings& settings) {
  if (lost_) return false;
  open_ = true;
  settings_ = settings;
  Schedule();  // what the ECU sends by itself after the key is turned
  return true;
}

std::optional<LineSettings> ScriptedLine::ReadLineSettings() {
  if (!open_) return std::nullopt;
  return settings_;
}

bool ScriptedLine::WriteLineSettings(const LineSettings& settings) {
  if (!open_) return false;
  settings_ = settings;
  return true;
}

int ScriptedLine::PendingCount() {
  // Asked on every poll of every wait: one look at the clock, one pass.
  const int64_t now = clock_.NowUs();
  int count = 0;
  for (const auto& [at, byte] : incoming_) count += at <= now ? 1 : 0;
  if (count > 0) received_ = true;
  return count;
}

void ScriptedLine::Lose() {
  lost_ = true;
  open_ = false;
  incoming_.clear();
}

Bytes ScriptedLine::ReadAll() {
  if (hang_up_at_read_ && PendingCount() > 0) {
    // A real adapter that sees a hang-up between the count and the read closes itself.
    hang_up_at_read_ = false;
    Lose();
    return {};
  }
  Bytes out;
  for (auto it = incoming_.begin(); it != incoming_.end();) {
    if (it->first <= clock_.NowUs()) {
      out.push_back(it->second);
      it = incoming_.erase(it);
    } else {
      ++it;
    }
  }
  if (!out.empty()) received_ = true;
  return out;
}

bool ScriptedLine::WriteByte(uint8_t) {
  if (!open_) return false;
  Schedule();
  return true;
}

bool ScriptedLine::LastEventWasReceive() {
  PendingCount();
  return received_;
}

}  // namespace kline::fuzz
