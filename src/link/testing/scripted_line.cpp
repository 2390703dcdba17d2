#include "link/testing/scripted_line.h"

#include <algorithm>

namespace kline::testing {

void ScriptedLine::Answer(uint8_t request, std::vector<Arrival> arrivals) {
  answers_[request] = std::move(arrivals);
}

void ScriptedLine::Script(uint8_t request, std::vector<Arrival> arrivals) {
  scripts_[request].push_back(std::move(arrivals));
}

void ScriptedLine::SendOnOpen(Bytes bytes, int64_t after_ms) {
  on_open_ = std::move(bytes);
  on_open_after_ms_ = after_ms;
}

void ScriptedLine::Pull() {
  open_ = false;
  lost_ = true;
  incoming_.clear();
}

bool ScriptedLine::Open(const std::string& path, const LineSettings& settings) {
  opened_path_ = path;
  if (open_fails || lost_) return false;
  open_ = true;
  talking_ = false;
  settings_ = settings;
  incoming_.clear();
  Queue(on_open_after_ms_, on_open_);
  return true;
}

OpenFailure ScriptedLine::LastOpenFailure() const {
  return open_ ? OpenFailure::kNone : OpenFailure::kNoSuchPort;
}

std::optional<LineSettings> ScriptedLine::ReadLineSettings() {
  if (settings_unreadable) return std::nullopt;
  return settings_;
}

bool ScriptedLine::WriteLineSettings(const LineSettings& settings) {
  if (settings_unwritable) return false;
  settings_ = settings;
  return true;
}

void ScriptedLine::Queue(int64_t after_ms, const Bytes& bytes) {
  const int64_t at_us = clock_.NowUs() + after_ms * 1000;
  // Behind everything due no later, so that bytes due at the same moment keep their order.
  auto place = std::upper_bound(incoming_.begin(), incoming_.end(), at_us,
                                [](int64_t at, const Timed& t) { return at < t.at_us; });
  for (uint8_t byte : bytes) place = incoming_.insert(place, {at_us, byte}) + 1;
  if (!bytes.empty()) talking_ = true;
}

void ScriptedLine::Play(const std::vector<Arrival>& arrivals) {
  for (const Arrival& arrival : arrivals) Queue(arrival.after_ms, arrival.bytes);
}

int ScriptedLine::PendingCount() {
  const int64_t now = clock_.NowUs();
  return static_cast<int>(std::count_if(incoming_.begin(), incoming_.end(),
                                        [now](const Timed& t) { return t.at_us <= now; }));
}

Bytes ScriptedLine::ReadAll() {
  if (hang_up_at_read && PendingCount() > 0) {
    hang_up_at_read = false;
    Pull();
    return {};
  }
  const int64_t now = clock_.NowUs();
  const auto arrived = std::find_if(incoming_.begin(), incoming_.end(),
                                    [now](const Timed& t) { return t.at_us > now; });
  Bytes out;
  for (auto it = incoming_.begin(); it != arrived; ++it) out.push_back(it->byte);
  incoming_.erase(incoming_.begin(), arrived);
  return out;
}

bool ScriptedLine::WriteByte(uint8_t value) {
  if (!open_) return false;
  written_.push_back(value);
  if (echo) Queue(0, {value});
  auto script = scripts_.find(value);
  if (script != scripts_.end() && !script->second.empty()) {
    Play(script->second.front());
    script->second.pop_front();
  } else if (auto answer = answers_.find(value); answer != answers_.end()) {
    Play(answer->second);
  }
  return true;
}

}  // namespace kline::testing
