// A clock whose sleeps end early once the program is closing, so that a long pause (a
// second of an actuator test's progress wait) cannot hold up the close.
#pragma once

#include <atomic>

#include "link/clock.h"

namespace kline {

class StoppableClock : public Clock {
 public:
  StoppableClock(Clock& base, const std::atomic<bool>& stop) : base_(base), stop_(stop) {}

  int64_t NowUs() override { return base_.NowUs(); }
  // Sleeps to the same deadline as the base clock would, in slices short enough to notice
  // the stop within a few milliseconds.
  void SleepUs(int64_t us) override;

 private:
  Clock& base_;
  const std::atomic<bool>& stop_;
};

}  // namespace kline
