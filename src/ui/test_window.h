// The test window (`Form1`, "Test"): buttons for the actuator tests, the custom code, the log
// and the progress bar. The engine runs the tests; this window shows how they go, and goes
// when the tests give the port back.
#pragma once

#include <array>

#include "service/actuator_tests.h"
#include "ui/service_window.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace kline::ui {

class TestWindow : public ServiceWindow {
 public:
  explicit TestWindow(DiagnosticEngine& engine);

  QPushButton* Button(int index) const { return buttons_.at(static_cast<size_t>(index)); }
  QLineEdit* Text1() const { return custom_code_field_; }
  QProgressBar* Pg1() const { return progress_bar_; }

 protected:
  // The close box does what "Back" does; the window goes once the engine says the port is
  // back, which a running test delays until its next pass.
  void closeEvent(QCloseEvent* event) override;

 private:
  void AskBeforeClearing();
  // The engine has given the port back: the window may go.
  void CloseNow();

  std::array<QPushButton*, kActuatorTests.size()> buttons_{};
  QLineEdit* custom_code_field_;
  QProgressBar* progress_bar_;
  bool may_close_ = false;
};

}  // namespace kline::ui
