// The main window (`Form2`): port and ECU type, the connect box, the ECU information box, the
// nine live channels with the engine-speed bar, and the menus that lend the port to the two
// service windows. It shows the engine's events and sends it what the user means; what is
// kept of a session (support log, recording, poll rate) is the SessionOutputs'.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <optional>
#include <utility>

#include "engine/diagnostic_engine.h"
#include "engine/session_outputs.h"
#include "link/ini_file.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QToolButton;

namespace kline::ui {

class ChartWindow;
class FaultWindow;
class LineMonitorWindow;
class IndicatorShape;
class InfoFrame;
class LiveReadouts;
class PortFrame;
class RecordingStatus;
class ServiceWindow;
class SpeedBar;
class TestWindow;
class TraceWindow;

inline constexpr char kMainCaption[] = "Torvane 15m  / 16m  /  P8  ECU   by Pellion";

class MainWindow : public QMainWindow {
 public:
  // The window sends its commands to `engine` and draws what it reports; it keeps its port
  // and type in the settings file at `settings_path`.
  MainWindow(DiagnosticEngine& engine, const QString& settings_path, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Start-up choices made outside the window (command line): as if the user had made them.
  void SelectType(EcuType type);
  void SetPortFieldText(const QString& text);
  // Ticks "Connect" unless it is ticked already.
  void TickConnect();

  std::optional<EcuType> SelectedType() const;
  // The ECU information box as shown.
  QString InfoText() const;
  // The status bar's message (the port, the connection, a recording).
  QString StatusText() const;
  DiagnosticEngine& engine() { return engine_; }
  TestWindow* Form1() const;
  FaultWindow* Form3() const;
  QAction* TestsMenu() const { return tests_menu_; }
  QAction* DiagMenu() const { return diag_menu_; }
  QAction* DebugMenu() const { return debug_menu_; }
  SpeedBar* Line1() const;
  LineMonitorWindow* OpenLineMonitor();
  ChartWindow* OpenChart();
  // A saved trace or support report in a window of its own; null (the user told why) when the
  // file cannot be read.
  TraceWindow* OpenTrace(const QString& path);
  bool SaveSupportReport(const QString& path, QString* error) const;
  // Records every live sample to `path` until stopped, disconnected or closed.
  bool StartRecording(const QString& path);
  void StopRecording(const QString& why);
  const CsvRecorder& recorder() const { return outputs_.recorder(); }
  IndicatorShape* Shape1() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // A window made larger gives its extra room to what is read from afar: the value fields
  // and the big speed figure grow with it (the speed bar grows by itself).
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* BuildEcuType();
  void BuildMenus();
  void BuildStatusBar();
  void FollowEngine();
  void ShowConnection(ConnectionState state);
  void ShowPortOwner(PortOwner owner);
  void LoadSettings();
  PanelChoices Choices() const;
  std::array<std::pair<EcuType, QRadioButton*>, 4> TypeOptions() const;
  void ShowPortMessage(const QString& text);
  // A message of the window's own (a recording, a saved report), kept for the support report;
  // returns the number of its showing.
  int Say(const QString& text);

  DiagnosticEngine& engine_;
  IniFile settings_;
  // Made before the window follows the engine: it takes each sample first.
  SessionOutputs outputs_;
  bool closing_ = false;
  // Who holds the port, and whether a close is waiting for the engine's ending.
  PortOwner holder_ = PortOwner::kSession;
  bool ending_ = false;
  bool engine_finished_ = false;
  // Messages shown in the status bar so far: a message is taken away by its showing, never by
  // its words.
  int showings_ = 0;

  PortFrame* port_frame_ = nullptr;
  QLabel* status_text_ = nullptr;
  QLabel* status_line_ = nullptr;
  QRadioButton* type_15m_ = nullptr;
  QRadioButton* type_15rc_ = nullptr;
  QRadioButton* type_16m_ = nullptr;
  QRadioButton* type_p8_ = nullptr;
  InfoFrame* info_frame_ = nullptr;
  LiveReadouts* readouts_ = nullptr;
  // The window's first size, and the scale the readouts are drawn at now.
  QSize base_size_;
  double readout_scale_ = 1.0;
  QAction* tests_menu_ = nullptr;
  QAction* diag_menu_ = nullptr;
  QAction* debug_menu_ = nullptr;
  RecordingStatus* recording_status_ = nullptr;

  QPointer<LineMonitorWindow> monitor_;
  QPointer<ChartWindow> chart_;
  QPointer<TestWindow> test_window_;
  QPointer<FaultWindow> fault_window_;
};

}  // namespace kline::ui
