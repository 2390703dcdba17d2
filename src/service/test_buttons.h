// The eight test buttons of the test window, switched off while a test holds the port so that
// the events processed during the wait cannot start a second test.
#pragma once

namespace kline {

class TestButtons {
 public:
  virtual ~TestButtons() = default;
  virtual void SetTestButtonsEnabled(bool enabled) = 0;
};

}  // namespace kline
