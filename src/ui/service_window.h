// What the test window and the fault-memory window share: the log `Rtb1`, the "Back" menu
// and the way to the engine that holds the port for them. Each follows its own part of the
// engine's events: its log lines and the commands refused to it.
#pragma once

#include <QMainWindow>

#include "engine/diagnostic_engine.h"

class QAction;
class QPlainTextEdit;

namespace kline::ui {

class ServiceWindow : public QMainWindow {
 public:
  ServiceWindow(DiagnosticEngine& engine, ServiceWindowId id, const QString& name,
                const QString& caption);

  // Appends a line at the end of the log and brings it into view.
  void AppendLine(const QString& text);

  QPlainTextEdit* Rtb1() const { return log_box_; }
  QAction* BackMenu() const { return back_; }

 protected:
  DiagnosticEngine& engine_;
  QPlainTextEdit* log_box_;
  QAction* back_;
};

}  // namespace kline::ui
