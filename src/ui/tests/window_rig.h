// The main window over an engine that shares the test's thread: commands run at once, so a
// click is followed by its whole effect, as the tests on virtual time need.
#pragma once

#include <QTemporaryDir>
#include <memory>

#include "engine/diagnostic_engine.h"
#include "session/session_driver.h"
#include "ui/main_window.h"

namespace kline::ui {

struct WindowRig {
  WindowRig(SerialDevice& device, Clock& clock, const QString& ini)
      : engine({.device = &device, .clock = &clock, .settings_path = ini}) {
    engine.Start();
    engine.driver()->SetDecimalSeparator('.');
    window = std::make_unique<MainWindow>(engine, ini);
  }

  DiagnosticEngine engine;
  std::unique_ptr<MainWindow> window;
};

}  // namespace kline::ui
