#include "engine/stoppable_clock.h"

#include <algorithm>

namespace kline {

namespace {

// Pauses up to this long are the polls of every wait: one plain sleep each, since slicing
// them would only add the cost of another clock sample.
constexpr int64_t kPlainSleepUs = 10000;
// Long pauses are cut into slices this long, so that a byte arriving meanwhile is seen
// within a few milliseconds.
constexpr int64_t kSliceUs = 3000;

}  // namespace

void StoppableClock::SleepUs(int64_t us) {
  stop_.ThrowIfCutting();
  if (us <= kPlainSleepUs) {
    base_.SleepUs(us);
    if (after_pause_) after_pause_();
    // A stop that came during the pause ends the routine here, before it writes again.
    stop_.ThrowIfCutting();
    return;
  }
  const int64_t deadline = base_.NowUs() + us;
  for (;;) {
    stop_.ThrowIfCutting();
    const int64_t left = deadline - base_.NowUs();
    if (left <= 0) return;
    const int64_t slice = std::min(left, kSliceUs);
    base_.SleepUs(slice);
    if (after_pause_) after_pause_();
    // Not after the last slice: the caller looks at the wire itself once the pause is over.
    if (slice < left && between_slices_) between_slices_();
  }
}

}  // namespace kline
