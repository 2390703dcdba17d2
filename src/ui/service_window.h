// What the test window and the fault-memory window share: the log `Rtb1`, the "Back" menu,
// and the glue to the main window that lends them its port.
#pragma once

#include <QMainWindow>
#include <optional>
#include <string_view>

#include "service/service_host.h"
#include "service/service_log.h"

class QAction;
class QPlainTextEdit;

namespace kline::ui {

class MainWindow;

class ServiceWindow : public QMainWindow, public ServiceHost, public ServiceLog {
 public:
  ServiceWindow(MainWindow& main, const QString& name, const QString& caption);

  std::optional<EcuType> SelectedType() const override;
  // Positive: the port goes back to the session at that interval; otherwise it is taken.
  void TimerOn(int interval) override;
  void ShowMainWindow() override;
  bool MainWindowHidden() const override;
  void ProcessPendingEvents() override;
  void Refresh() override;
  void CloseWindow() override;
  void ShowStatusMessage(std::string_view text) override;

  void AppendLine(std::string_view text) override;
  void MoveCaretToEnd() override;

  QPlainTextEdit* Rtb1() const { return rtb1_; }
  QAction* BackMenu() const { return back_; }

 protected:
  MainWindow& main_;
  QPlainTextEdit* rtb1_;
  QAction* back_;
};

}  // namespace kline::ui
