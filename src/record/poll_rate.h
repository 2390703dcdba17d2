// The poll rate for the status bar: live steps and requests per second over the last few
// seconds of samples.
#pragma once

#include <cstdint>
#include <deque>

#include "session/live_sample.h"

namespace kline {

class PollRate {
 public:
  explicit PollRate(int64_t window_us = 5'000'000) : window_us_(window_us) {}

  // A sample older than the newest one (a new session's clock) starts the measure afresh.
  void Add(const LiveSample& sample);
  void Reset();

  // Both are 0 until two samples came; they describe the window ending at the newest sample.
  double CyclesPerSecond() const;
  double RequestsPerSecond() const;

 private:
  struct Step {
    int64_t time_us;
    int requests;
  };

  double Seconds() const;

  int64_t window_us_;
  std::deque<Step> steps_;
  int64_t requests_after_first_ = 0;  // the requests of every kept step but the oldest
};

}  // namespace kline
