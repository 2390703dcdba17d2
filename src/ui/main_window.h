// The main window (`Form2`): port and ECU type, the connect box, the ECU information box, the
// nine live channels with the engine-speed bar, and the menus that lend the port to the two
// service windows. It owns the K-line port and the session driver and is their MainPanel.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>

#include "link/clock.h"
#include "link/ini_file.h"
#include "link/kline_port.h"
#include "link/serial_device.h"
#include "session/live_sample.h"
#include "session/main_panel.h"
#include "session/session_driver.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QToolButton;

namespace kline::ui {

class FaultWindow;
class IndicatorShape;
class SpeedBar;
class TestWindow;

inline constexpr char kMainCaption[] = "Torvane 15m  / 16m  /  P8  ECU   by Pellion";

class MainWindow : public QMainWindow, public MainPanel {
 public:
  // The window talks to the ECU through `device`, waits on `clock` and keeps its port and
  // type in the settings file at `settings_path`.
  MainWindow(SerialDevice& device, Clock& clock, const QString& settings_path,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  bool ChannelTicked(int channel) const override;
  void SetChannelTicked(int channel, bool ticked) override;
  std::string ValueText(int channel) const override;
  void SetValueText(int channel, const std::string& text) override;
  void SetValueStale(int channel, bool stale) override;
  void PublishSample(const LiveSample& sample) override;
  void SetSpeedBar(int lit_below) override;
  void SetSpeedReadout(const std::string& text) override;
  void AppendInfo(const std::string& text) override;
  void ClearInfo() override;
  void SetStatus(const std::string& text) override;
  void ShowPortMessage(const std::string& text) override;
  std::string PortFieldText() const override;
  void SetConnectTicked(bool ticked) override;
  void SetConnectCaption(const std::string& caption) override;
  void SetIndicatorColour(uint32_t bgr) override;
  std::optional<EcuType> SelectedType() const override;
  bool EcuDataTicked() const override;
  bool CalibrationTicked() const override;
  void SetServiceMenusEnabled(bool enabled) override;
  void HideFaultWindow() override;
  void ProcessPendingEvents() override;
  void TimerOn(int interval) override;

  // Start-up choices made outside the window (command line): as if the user had made them.
  void SelectType(EcuType type);
  void SetPortFieldText(const QString& text);

  // What the service windows use: the port, taking it and giving it back, the screen.
  KLinePort& port() { return port_; }
  void LendPort();
  void ReturnPort(int interval);
  void ShowAgain();
  void ShowStatusMessage(const QString& text);

  SessionDriver& driver() { return driver_; }
  bool SessionTimerRunning() const { return timer_enabled_; }
  int SessionTimerInterval() const { return timer_interval_; }
  TestWindow* Form1() const;
  FaultWindow* Form3() const;
  QAction* TestsMenu() const { return test_; }
  QAction* DiagMenu() const { return diag_; }
  QAction* DebugMenu() const { return debug_; }
  SpeedBar* Line1() const { return line1_; }
  IndicatorShape* Shape1() const { return shape1_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* BuildComPort();
  QWidget* BuildEcuType();
  QWidget* BuildEcuInfo();
  QWidget* BuildChannels();
  QWidget* BuildSpeedBar();
  void BuildMenus();
  void LoadSettings();
  void OnTimer();
  void OpenTestWindow();
  void OpenFaultWindow();
  void OpenDonationPage();

  Clock& clock_;
  IniFile settings_;
  KLinePort port_;
  SessionDriver driver_;

  QTimer timer_;  // Timer1
  bool timer_enabled_ = false;
  int timer_interval_ = 0;
  bool closing_ = false;

  QCheckBox* check2_ = nullptr;
  QLineEdit* text6_ = nullptr;
  IndicatorShape* shape1_ = nullptr;
  QLabel* label4_ = nullptr;
  QRadioButton* option1_ = nullptr;
  QRadioButton* option9_ = nullptr;
  QRadioButton* option7_ = nullptr;
  QRadioButton* option2_ = nullptr;
  QPlainTextEdit* text4_ = nullptr;
  QCheckBox* check3_ = nullptr;
  QCheckBox* check4_ = nullptr;
  std::array<QCheckBox*, kChannelCount> check1_{};
  std::array<QLineEdit*, kChannelCount> text1_{};
  SpeedBar* line1_ = nullptr;
  QLabel* label26_ = nullptr;
  QAction* test_ = nullptr;
  QAction* diag_ = nullptr;
  QAction* debug_ = nullptr;

  QPointer<TestWindow> test_window_;
  QPointer<FaultWindow> fault_window_;
};

}  // namespace kline::ui
