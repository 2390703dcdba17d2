// Virtual time on which other threads can be played: actions planned for a moment run when a
// sleep passes that moment, as a window's click or a signal would arrive while the engine's
// routine waits.
#pragma once

#include <functional>
#include <map>

#include "link/clock.h"

namespace kline::testing {

class EventClock : public VirtualClock {
 public:
  void At(int64_t time_us, std::function<void()> action) {
    actions_.emplace(time_us, std::move(action));
  }
  // When the next planned action is due; -1 when none is left.
  int64_t NextActionUs() const { return actions_.empty() ? -1 : actions_.begin()->first; }
  // Moves to `time_us` without running anything, however much is due.
  void JumpTo(int64_t time_us) { VirtualClock::SleepUs(time_us - NowUs()); }
  // Runs the first planned action, at its moment (never earlier than now).
  void RunNextAction() {
    auto first = actions_.begin();
    std::function<void()> action = std::move(first->second);
    JumpTo(first->first);
    actions_.erase(first);
    action();
  }

  void SleepUs(int64_t us) override {
    const int64_t end = NowUs() + us;
    while (!actions_.empty() && actions_.begin()->first <= end) RunNextAction();
    JumpTo(end);
  }

 private:
  std::multimap<int64_t, std::function<void()>> actions_;
};

}  // namespace kline::testing
