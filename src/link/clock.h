// The one source of time for everything that waits: a monotonic clock and a sleep.
#pragma once

#include <cstdint>

namespace kline {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowUs() = 0;
  virtual void SleepUs(int64_t us) = 0;

  int64_t NowMs() { return NowUs() / 1000; }
  void SleepMs(int64_t ms) { SleepUs(ms * 1000); }
};

// Real time: std::chrono::steady_clock and std::this_thread::sleep_for.
class SteadyClock : public Clock {
 public:
  int64_t NowUs() override;
  void SleepUs(int64_t us) override;
};

// Test time: sleeping advances the clock at once, so long waits cost nothing.
class VirtualClock : public Clock {
 public:
  explicit VirtualClock(int64_t start_us = 0) : now_us_(start_us) {}
  int64_t NowUs() override { return now_us_; }
  void SleepUs(int64_t us) override {
    if (us > 0) now_us_ += us;
  }

 private:
  int64_t now_us_;
};

}  // namespace kline
