#include "engine/stoppable_clock.h"

#include <algorithm>

namespace kline {

namespace {

constexpr int64_t kSliceUs = 10000;

}  // namespace

void StoppableClock::SleepUs(int64_t us) {
  // Short pauses (the polls of every wait) are one plain sleep: slicing them would only
  // add the cost of another clock sample.
  if (us <= kSliceUs) {
    if (!stop_.load(std::memory_order_relaxed)) base_.SleepUs(us);
    return;
  }
  const int64_t deadline = base_.NowUs() + us;
  while (!stop_.load(std::memory_order_relaxed)) {
    const int64_t left = deadline - base_.NowUs();
    if (left <= 0) return;
    base_.SleepUs(std::min(left, kSliceUs));
  }
}

}  // namespace kline
