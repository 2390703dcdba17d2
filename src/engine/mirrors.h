// The engine's side of the windows: the session and service routines call these as they
// would call the windows; each change is forwarded to the window thread as a signal and
// each question (is this box ticked?) is answered from what the commands last said.
#pragma once

#include "engine/diagnostic_engine.h"
#include "service/progress_bar.h"
#include "service/service_host.h"
#include "service/service_log.h"
#include "service/test_buttons.h"
#include "session/main_panel.h"

namespace kline {

class PanelMirror : public MainPanel {
 public:
  explicit PanelMirror(DiagnosticEngine& engine) : engine_(engine) {}

  bool ChannelTicked(int channel) const override;
  void SetChannelTicked(int channel, bool ticked) override;
  std::string ValueText(int channel) const override;
  void SetValueText(int channel, const std::string& text) override;
  void SetValueStale(int channel, bool stale) override;
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
  void PublishSample(const LiveSample& sample) override;
  void TimerOn(int interval) override;

 private:
  DiagnosticEngine& engine_;
  // The fields as last written: the session reads the speed field back.
  std::array<std::string, kChannelCount> values_;
};

class ServiceMirror : public ServiceHost,
                      public ServiceLog,
                      public ProgressBar,
                      public TestButtons {
 public:
  ServiceMirror(DiagnosticEngine& engine, ServiceWindowId window)
      : engine_(engine), window_(window) {}

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
  void SetMaximum(float maximum) override;
  void SetValue(float value) override;
  void SetTestButtonsEnabled(bool enabled) override;

 private:
  DiagnosticEngine& engine_;
  ServiceWindowId window_;
};

}  // namespace kline
