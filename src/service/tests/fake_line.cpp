#include "fake_line.h"

#include <algorithm>

namespace kline::testing {

void ScriptedLine::Script(uint8_t request, std::vector<Arrival> arrivals) {
  scripts_[request].push_back(std::move(arrivals));
}

bool ScriptedLine::Open(const std::string&, const LineSettings& settings) {
  settings_ = settings;
  open_ = true;
  return true;
}

bool ScriptedLine::WriteLineSettings(const LineSettings& settings) {
  settings_ = settings;
  return true;
}

int ScriptedLine::PendingCount() {
  const int64_t now = clock_.NowUs();
  return static_cast<int>(std::count_if(incoming_.begin(), incoming_.end(),
                                        [now](const Timed& t) { return t.at_us <= now; }));
}

Bytes ScriptedLine::ReadAll() {
  const int64_t now = clock_.NowUs();
  Bytes out;
  auto arrived = std::stable_partition(incoming_.begin(), incoming_.end(),
                                       [now](const Timed& t) { return t.at_us <= now; });
  for (auto it = incoming_.begin(); it != arrived; ++it) out.push_back(it->byte);
  incoming_.erase(incoming_.begin(), arrived);
  if (!out.empty()) received_ = true;
  return out;
}

bool ScriptedLine::WriteByte(uint8_t value) {
  written_.push_back(value);
  auto script = scripts_.find(value);
  if (script == scripts_.end() || script->second.empty()) return true;
  const int64_t now = clock_.NowUs();
  for (const Arrival& arrival : script->second.front()) {
    for (uint8_t b : arrival.bytes) incoming_.push_back({now + arrival.after_ms * 1000, b});
  }
  script->second.pop_front();
  std::stable_sort(incoming_.begin(), incoming_.end(),
                   [](const Timed& a, const Timed& b) { return a.at_us < b.at_us; });
  return true;
}

}  // namespace kline::testing
