// The main window's session timer, as seen by the code that must stop and restart it.
#pragma once

namespace kline {

class SessionTimer {
 public:
  virtual ~SessionTimer() = default;
  // Starts the timer with the interval in milliseconds; below 1 stops it.
  virtual void TimerOn(int interval) = 0;
};

}  // namespace kline
