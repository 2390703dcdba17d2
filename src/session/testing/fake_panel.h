// A main window made of plain fields, for driving the session in tests, benchmarks and
// fuzzing.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "session/live_sample.h"
#include "session/main_panel.h"

namespace kline {

class FakePanel : public MainPanel {
 public:
  FakePanel();

  bool ChannelTicked(int channel) const override { return ticked[channel]; }
  void SetChannelTicked(int channel, bool on) override { ticked[channel] = on; }
  std::string ValueText(int channel) const override { return values[channel]; }
  void SetValueText(int channel, const std::string& text) override { values[channel] = text; }
  void SetSpeedBar(int lit_below) override { lit = lit_below; }
  void SetSpeedReadout(const std::string& text) override { readout = text; }
  void SetValueStale(int channel, bool on) override { stale[channel] = on; }
  void AppendInfo(const std::string& text) override { info += text; }
  void ClearInfo() override { info.clear(); }
  void ShowIdentification(const EcuIdentification& facts) override { identification = facts; }
  void SetStatus(const std::string& text) override { status = text; }
  void ShowPortMessage(const std::string& text) override { port_message = text; }
  std::string PortFieldText() const override { return port_field; }
  void SetConnectTicked(bool on) override { connect_ticked = on; }
  void SetConnectCaption(const std::string& text) override { connect_caption = text; }
  void SetIndicatorColour(uint32_t bgr) override { indicator = bgr; }
  std::optional<EcuType> SelectedType() const override { return type; }
  bool EcuDataTicked() const override { return ecu_data; }
  bool CalibrationTicked() const override { return calibration; }
  void SetServiceMenusEnabled(bool on) override { menus = on; }
  void HideFaultWindow() override { fault_window_hidden = true; }
  void ProcessPendingEvents() override;
  void PublishSample(const LiveSample& sample) override { samples.push_back(sample); }
  void TimerOn(int interval) override { timer_log.push_back(interval < 1 ? 0 : interval); }

  // The timer's state after the last TimerOn: its interval, 0 when stopped.
  int timer() const { return timer_log.empty() ? 0 : timer_log.back(); }

  std::array<bool, kChannelCount> ticked;
  std::array<std::string, kChannelCount> values;
  std::array<bool, kChannelCount> stale{};
  int lit = -1;  // -1: the bar was never written
  std::string readout;
  std::string info;
  EcuIdentification identification;
  std::string status;
  std::string port_message;
  std::string port_field = "1";
  bool connect_ticked = false;
  std::string connect_caption = "Connect";
  uint32_t indicator = 0;
  std::optional<EcuType> type = EcuType::k15m;
  bool ecu_data = true;
  bool calibration = true;
  bool menus = false;
  bool fault_window_hidden = false;
  std::vector<int> timer_log;
  std::vector<LiveSample> samples;
  int events_processed = 0;
  // Runs inside ProcessPendingEvents, as a click queued during a step would.
  std::function<void()> on_events;
};

}  // namespace kline
