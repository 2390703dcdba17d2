#include "fake_ecu_line.h"

#include <algorithm>

namespace kline::ui::testing {

void FakeEcuLine::Answer(uint8_t request, Bytes first, int64_t later_ms, Bytes later) {
  scripts_[request] = Script{std::move(first), later_ms, std::move(later)};
}

void FakeEcuLine::Pull() {
  open_ = false;
  lost_ = true;
  incoming_.clear();
}

bool FakeEcuLine::Open(const std::string&, const LineSettings& settings) {
  if (lost_) return false;
  open_ = true;
  ++opens_;
  settings_ = settings;
  incoming_.clear();
  Queue(clock_.NowUs() + on_open_after_ms_ * 1000, on_open_);
  return true;
}

bool FakeEcuLine::WriteLineSettings(const LineSettings& settings) {
  settings_ = settings;
  return open_;
}

void FakeEcuLine::Queue(int64_t at_us, const Bytes& bytes) {
  for (uint8_t byte : bytes) incoming_.push_back({at_us, byte});
  if (!bytes.empty()) received_ = true;
}

int FakeEcuLine::PendingCount() {
  const int64_t now = clock_.NowUs();
  return static_cast<int>(std::count_if(incoming_.begin(), incoming_.end(),
                                        [now](const Timed& t) { return t.at_us <= now; }));
}

Bytes FakeEcuLine::ReadAll() {
  const int64_t now = clock_.NowUs();
  Bytes out;
  std::vector<Timed> rest;
  for (const Timed& t : incoming_) {
    if (t.at_us <= now) {
      out.push_back(t.byte);
    } else {
      rest.push_back(t);
    }
  }
  incoming_ = std::move(rest);
  return out;
}

bool FakeEcuLine::WriteByte(uint8_t value) {
  if (!open_) return false;
  written_.push_back(value);
  const int64_t now = clock_.NowUs();
  Queue(now, {value});
  const auto script = scripts_.find(value);
  if (script != scripts_.end()) {
    Queue(now, script->second.first);
    Queue(now + script->second.later_ms * 1000, script->second.later);
  }
  return true;
}

}  // namespace kline::ui::testing
