// The engine's side of the windows: the session and service routines call these as they
// would call the windows; each change is reported as a signal (queued to whoever listens on
// another thread) and each question (is this box ticked?) is answered from what the commands
// last said. A yield point ("let pending events run") applies the state changes waiting in
// the engine's inbox, never a routine that talks to the ECU.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "engine/connection_watch.h"
#include "engine/engine_types.h"
#include "engine/wire_scheduler.h"
#include "service/service_host.h"
#include "session/main_panel.h"

namespace kline {

class PanelMirror : public QObject, public MainPanel {
  Q_OBJECT

 public:
  PanelMirror(PanelChoices& choices, ConnectionWatch& watch, WireScheduler& scheduler,
              SessionTimer& timer, QObject* parent);

  bool ChannelTicked(int channel) const override;
  void SetChannelTicked(int channel, bool ticked) override;
  std::string ValueText(int channel) const override;
  void SetValueText(int channel, const std::string& text) override;
  void SetValueStale(int channel, bool stale) override;
  void SetSpeedBar(int lit_below) override;
  void SetSpeedReadout(const std::string& text) override;
  void AppendInfo(const std::string& text) override;
  void ClearInfo() override;
  void ShowIdentification(const EcuIdentification& facts) override;
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

 signals:
  void ValueTextChanged(int channel, const QString& text);
  void ValueStaleChanged(int channel, bool stale);
  void ChannelTickedChanged(int channel, bool ticked);
  void SpeedBarChanged(int lit_below);
  void SpeedReadoutChanged(const QString& text);
  void InfoAppended(const QString& text);
  void InfoCleared();
  void IdentificationChanged(const kline::EcuIdentification& facts);
  void StatusChanged(const QString& text);
  void PortMessage(const QString& text);
  void ConnectTickedChanged(bool ticked);
  void ConnectCaptionChanged(const QString& caption);
  void IndicatorColourChanged(uint32_t bgr);
  void ServiceMenusEnabledChanged(bool enabled);
  void FaultWindowHidden();
  void SampleTaken(const kline::LiveSample& sample);

 private:
  PanelChoices& choices_;
  ConnectionWatch& watch_;
  WireScheduler& scheduler_;
  SessionTimer& timer_;
  // The fields as last written: the session reads the speed field back.
  std::array<std::string, kChannelCount> values_;
};

// One per service window.
class ServiceMirror : public QObject, public ServiceHost {
  Q_OBJECT

 public:
  struct Links {
    const PanelChoices& choices;
    WireScheduler& scheduler;
    // The main window is hidden exactly while a service window holds the port.
    std::function<bool()> main_window_hidden;
    // Gives the port back to the session, whose timer restarts at that interval.
    std::function<void(int)> return_port;
  };
  ServiceMirror(Links links, QObject* parent);

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

 signals:
  void MainWindowShown();
  void WindowClosed();
  void StatusMessage(const QString& text);
  void LogLine(const QString& text);
  void ProgressMaximumChanged(float maximum);
  void ProgressValueChanged(float value);
  void TestButtonsEnabledChanged(bool enabled);

 private:
  Links links_;
};

}  // namespace kline
