// The fault-memory window (`Form3`, "Diag"): ten buttons that each read one fault or status
// byte and explain its bits in the log.
#pragma once

#include <array>

#include "service/fault_memory.h"
#include "ui/service_window.h"

class QPushButton;

namespace kline::ui {

class FaultWindow : public ServiceWindow {
 public:
  explicit FaultWindow(MainWindow& main);

  // The main window is closing.
  void Unload();

  QPushButton* Button(int index) const { return buttons_.at(static_cast<size_t>(index)); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  FaultMemory faults_;
  std::array<QPushButton*, kFaultButtons.size()> buttons_{};
};

}  // namespace kline::ui
