#include "session/testing/sim_session.h"

#include <algorithm>

namespace kline {

SimSession::SimSession(EcuType type, std::optional<sim::Profile> profile,
                       std::optional<int> ignition_delay_ms)
    : line(clock, profile.value_or(sim::BuiltinProfile(type)),
           ignition_delay_ms.value_or(type == EcuType::kP8 ? 0 : 500)) {
  panel.type = type;
  driver.SetDecimalSeparator('.');
}

void SimSession::Connect() {
  panel.connect_ticked = true;
  driver.OnConnectBox(true);
}

int64_t SimSession::Run(int64_t ms) {
  int64_t longest = 0;
  const int64_t end = clock.NowMs() + ms;
  while (clock.NowMs() < end && panel.timer() > 0) {
    clock.SleepMs(panel.timer());
    const int64_t start = clock.NowMs();
    driver.Tick();
    longest = std::max(longest, clock.NowMs() - start);
  }
  return longest;
}

std::vector<TraceEntry> SimSession::Sent() const {
  std::vector<TraceEntry> sent;
  for (const TraceEntry& e : line.trace()) {
    if (e.dir == TraceEntry::Dir::kPcSent) sent.push_back(e);
  }
  return sent;
}

int64_t SimSession::SentCount(uint8_t byte) const {
  const auto sent = Sent();
  return std::count_if(sent.begin(), sent.end(),
                       [&](const TraceEntry& e) { return e.byte == byte; });
}

}  // namespace kline
