#include "record/poll_rate.h"

namespace kline {

void PollRate::Add(const LiveSample& sample) {
  if (!steps_.empty() && sample.time_us < steps_.back().time_us) Reset();
  if (!steps_.empty()) requests_after_first_ += sample.requests;
  steps_.push_back({sample.time_us, sample.requests});
  // The oldest kept step only marks where the window starts: its requests went out before.
  while (steps_.size() > 2 && sample.time_us - steps_[1].time_us >= window_us_) {
    steps_.pop_front();
    requests_after_first_ -= steps_.front().requests;
  }
}

void PollRate::Reset() {
  steps_.clear();
  requests_after_first_ = 0;
}

double PollRate::Seconds() const {
  return static_cast<double>(steps_.back().time_us - steps_.front().time_us) / 1e6;
}

double PollRate::CyclesPerSecond() const {
  if (steps_.size() < 2 || Seconds() <= 0) return 0;
  return static_cast<double>(steps_.size() - 1) / Seconds();
}

double PollRate::RequestsPerSecond() const {
  if (steps_.size() < 2 || Seconds() <= 0) return 0;
  return static_cast<double>(requests_after_first_) / Seconds();
}

}  // namespace kline
