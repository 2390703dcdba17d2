// The test window's progress bar (`Pg1`), advanced once a second while a test result is awaited.
#pragma once

namespace kline {

class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  virtual void SetMaximum(float maximum) = 0;
  virtual void SetValue(float value) = 0;
};

}  // namespace kline
