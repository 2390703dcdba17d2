// The fault-memory window (`Form3`, "Diag"): ten buttons that each read one fault or status
// byte; the engine reads it, the log explains its bits and the fault view shows each byte read
// with its value and every bit. It follows the fault routines' part of the engine, and goes
// out of the way when the connection closes.
#pragma once

#include <QTimer>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "service/fault_memory.h"
#include "ui/service_window.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kline::ui {

class MainWindow;

class FaultWindow : public ServiceWindow {
 public:
  // `main` supplies the ECU type and identification texts of a saved report.
  FaultWindow(DiagnosticEngine& engine, const MainWindow& main);

  // Writes the report of every byte read so far; an empty result means it was saved.
  QString SaveReport(const QString& path) const;

  QPushButton* Button(int index) const { return buttons_.at(static_cast<size_t>(index)); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The buttons work unless the test routines hold the port.
  void SetPortOwner(PortOwner owner);
  // A fault byte the engine read (empty: no answer), for the view and the report.
  void NoteRead(int index, const QString& answer);
  // Puts the rows of one byte read at the end of the fault view, in place of its older ones.
  void ShowRead(int index);
  void BeginRead(bool all);
  // Greys a byte's rows and says they are from an earlier reading.
  void MarkEarlier(QTreeWidgetItem& byte);
  void ShowPending();
  void WidenColumns(const QTreeWidgetItem& byte);

  const MainWindow& main_;
  std::array<QPushButton*, kFaultButtons.size()> buttons_{};
  QPushButton* read_all_;
  QTreeWidget* view_;
  // The last answer of each button, in the order they were read.
  std::vector<std::pair<int, std::string>> reads_;
  // Reads that came while the view waits for its next repaint, in the order they came.
  std::vector<int> pending_;
  QTimer display_;
};

}  // namespace kline::ui
