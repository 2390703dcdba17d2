// A clock whose sleeps end early once the program is closing, so that a long pause (a
// second of an actuator test's progress wait) cannot hold up the close.
#pragma once

#include <atomic>
#include <functional>

#include "link/clock.h"

namespace kline {

class StoppableClock : public Clock {
 public:
  StoppableClock(Clock& base, const std::atomic<bool>& stop) : base_(base), stop_(stop) {}

  int64_t NowUs() override { return base_.NowUs(); }
  // Sleeps to the same deadline as the base clock would, in slices short enough to notice
  // the stop within a few milliseconds.
  void SleepUs(int64_t us) override;
  // Runs between the slices of a long pause; it must be quick and leave the wire alone.
  void SetBetweenSlices(std::function<void()> fn) { between_slices_ = std::move(fn); }

 private:
  Clock& base_;
  const std::atomic<bool>& stop_;
  std::function<void()> between_slices_;
};

}  // namespace kline
