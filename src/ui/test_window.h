// The test window (`Form1`, "Test"): puts the ECU in diagnostic mode and runs one actuator test
// at a time, with its log and progress bar.
#pragma once

#include <array>

#include "service/actuator_tests.h"
#include "ui/service_window.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace kline::ui {

class TestWindow : public ServiceWindow, public ProgressBar, public TestButtons {
 public:
  explicit TestWindow(MainWindow& main);

  // The load step, run once the window is on screen.
  void EnterDiagnosticMode();
  // The main window is closing: go now, or as soon as a running test lets go.
  void Unload();

  void SetMaximum(float maximum) override;
  void SetValue(float value) override;
  void SetTestButtonsEnabled(bool enabled) override;

  const ActuatorTests& tests() const { return tests_; }
  QPushButton* Button(int index) const { return buttons_.at(static_cast<size_t>(index)); }
  QLineEdit* Text1() const { return text1_; }
  QProgressBar* Pg1() const { return pg1_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  ActuatorTests tests_;
  std::array<QPushButton*, kActuatorTests.size()> buttons_{};
  QLineEdit* text1_;
  QProgressBar* pg1_;
};

}  // namespace kline::ui
