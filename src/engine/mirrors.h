// The engine's side of the windows: the session and service routines call these as they
// would call the windows; each call is reported as the fact it stands for on EngineEvents
// (a green lamp and a ticked box: the port is open) and each question (is this box ticked?)
// is answered from what the commands last said. A yield point ("let pending events run") applies
// the state changes waiting in the engine's inbox, never a routine that talks to the ECU.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "engine/connection_watch.h"
#include "engine/engine_events.h"
#include "engine/engine_types.h"
#include "engine/wire_scheduler.h"
#include "service/service_host.h"
#include "session/main_panel.h"

namespace kline {

class PanelMirror : public MainPanel {
 public:
  PanelMirror(PanelChoices& choices, ConnectionWatch& watch, WireScheduler& scheduler,
              SessionTimer& timer, EngineEvents& events);

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

  // Around the session's connect: a port that did not open is told apart from a field that
  // names none, which the session refuses by unticking the box.
  void BeforeConnect() { refused_ = false; }
  void AfterConnect(bool port_open);

 private:
  void SetState(ConnectionState state);

  PanelChoices& choices_;
  ConnectionWatch& watch_;
  WireScheduler& scheduler_;
  SessionTimer& timer_;
  EngineEvents& events_;
  ConnectionState state_ = ConnectionState::kIdle;
  bool refused_ = false;
  // The fields as last written: the session reads the speed field back.
  std::array<std::string, kChannelCount> values_;
  QStringList info_lines_;
  EcuIdentification facts_;
};

// One per service window.
class ServiceMirror : public ServiceHost {
 public:
  struct Links {
    const PanelChoices& choices;
    WireScheduler& scheduler;
    // The main window is hidden exactly while a service window holds the port.
    std::function<bool()> main_window_hidden;
    // Gives the port back to the session, whose timer restarts at that interval.
    std::function<void(int)> return_port;
  };
  ServiceMirror(ServiceWindowId window, Links links, EngineEvents& events);

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
  void ReportVerdict(ServiceVerdict verdict) override;

 private:
  ServiceWindowId window_;
  Links links_;
  EngineEvents& events_;
  float maximum_ = 0;
  float value_ = 0;
};

}  // namespace kline
