// The fault-memory window (`Form3`, "Diag"): ten buttons that each read one fault or status
// byte; the engine reads it and the log explains its bits.
#pragma once

#include <array>

#include "service/fault_memory.h"
#include "ui/service_window.h"

class QPushButton;

namespace kline::ui {

class FaultWindow : public ServiceWindow {
 public:
  explicit FaultWindow(DiagnosticEngine& engine);

  // The buttons work unless the test window holds the port.
  void SetPortOwner(PortOwner owner);

  QPushButton* Button(int index) const { return buttons_.at(static_cast<size_t>(index)); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::array<QPushButton*, kFaultButtons.size()> buttons_{};
};

}  // namespace kline::ui
