// How a stop (the window closing, Ctrl-C, a signal, a time limit) reaches a routine that is
// talking to the ECU. The one rule for every routine: once a stop is requested, its next
// pause or wait throws WireStopped, so it sends nothing more of its own. Whoever runs the
// routine catches it at the routine's top and then runs the proper ending (leave diagnostic
// mode, close the port) inside an EndingScope, where pauses and waits keep their full length.
#pragma once

#include <atomic>

namespace kline {

struct WireStopped {};

class WireStop {
 public:
  // Thread-safe.
  void Request() { requested_.store(true, std::memory_order_relaxed); }
  bool requested() const { return requested_.load(std::memory_order_relaxed); }
  // True when a pause or wait must end now: a stop was requested and no ending is running.
  bool Cutting() const { return ending_depth_ == 0 && requested(); }
  void ThrowIfCutting() const {
    if (Cutting()) throw WireStopped{};
  }

 private:
  friend class EndingScope;
  std::atomic<bool> requested_{false};
  int ending_depth_ = 0;  // only the thread that runs the routines touches it
};

// While one lives, the stop does not cut pauses and waits: the exchange inside is part of
// leaving the ECU properly, and must keep its true pauses and wait for its answer.
class EndingScope {
 public:
  explicit EndingScope(WireStop* stop) : stop_(stop) {
    if (stop_) ++stop_->ending_depth_;
  }
  ~EndingScope() {
    if (stop_) --stop_->ending_depth_;
  }
  EndingScope(const EndingScope&) = delete;
  EndingScope& operator=(const EndingScope&) = delete;

 private:
  WireStop* stop_;
};

}  // namespace kline
