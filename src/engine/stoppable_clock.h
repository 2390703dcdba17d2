// A clock whose pauses obey the wire's stop: once a stop is requested, the next pause (and a
// long pause already running, within a few milliseconds) throws WireStopped, except inside an
// EndingScope. Every wait of the port polls through it, so waits end the same way.
#pragma once

#include <functional>

#include "link/clock.h"
#include "link/wire_stop.h"

namespace kline {

class StoppableClock : public Clock {
 public:
  StoppableClock(Clock& base, const WireStop& stop) : base_(base), stop_(stop) {}

  int64_t NowUs() override { return base_.NowUs(); }
  // Sleeps to the same deadline as the base clock would, in slices short enough to notice
  // the stop within a few milliseconds.
  void SleepUs(int64_t us) override;
  // Runs between the slices of a long pause; it must be quick and leave the wire alone.
  void SetBetweenSlices(std::function<void()> fn) { between_slices_ = std::move(fn); }
  // Runs after every pause, the short polls of a wait included; the same rules.
  void SetAfterPause(std::function<void()> fn) { after_pause_ = std::move(fn); }

 private:
  Clock& base_;
  const WireStop& stop_;
  std::function<void()> between_slices_;
  std::function<void()> after_pause_;
};

}  // namespace kline
