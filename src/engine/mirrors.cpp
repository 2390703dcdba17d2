#include "engine/mirrors.h"

#include "engine/text.h"

namespace kline {

PanelMirror::PanelMirror(PanelChoices& choices, ConnectionWatch& watch, WireScheduler& scheduler,
                         SessionTimer& timer, QObject* parent)
    : QObject(parent), choices_(choices), watch_(watch), scheduler_(scheduler), timer_(timer) {}

bool PanelMirror::ChannelTicked(int channel) const {
  return choices_.channels.at(static_cast<size_t>(channel));
}

void PanelMirror::SetChannelTicked(int channel, bool ticked) {
  choices_.channels.at(static_cast<size_t>(channel)) = ticked;
  emit ChannelTickedChanged(channel, ticked);
}

std::string PanelMirror::ValueText(int channel) const {
  return values_.at(static_cast<size_t>(channel));
}

void PanelMirror::SetValueText(int channel, const std::string& text) {
  values_.at(static_cast<size_t>(channel)) = text;
  emit ValueTextChanged(channel, Q(text));
}

void PanelMirror::SetValueStale(int channel, bool stale) { emit ValueStaleChanged(channel, stale); }

void PanelMirror::SetSpeedBar(int lit_below) { emit SpeedBarChanged(lit_below); }

void PanelMirror::SetSpeedReadout(const std::string& text) { emit SpeedReadoutChanged(Q(text)); }

void PanelMirror::AppendInfo(const std::string& text) { emit InfoAppended(Q(text)); }

void PanelMirror::ClearInfo() { emit InfoCleared(); }

void PanelMirror::ShowIdentification(const EcuIdentification& facts) {
  emit IdentificationChanged(facts);
}

void PanelMirror::SetStatus(const std::string& text) { emit StatusChanged(Q(text)); }

// While the connection fails, what the wire showed goes with the session's own message.
void PanelMirror::ShowPortMessage(const std::string& text) {
  QString message = Q(text);
  if (!message.isEmpty() && !watch_.diagnosis().isEmpty()) {
    message += QStringLiteral(": ") + watch_.diagnosis();
  }
  emit PortMessage(message);
}

std::string PanelMirror::PortFieldText() const { return choices_.port_field.toStdString(); }

void PanelMirror::SetConnectTicked(bool ticked) { emit ConnectTickedChanged(ticked); }

void PanelMirror::SetConnectCaption(const std::string& caption) {
  emit ConnectCaptionChanged(Q(caption));
}

void PanelMirror::SetIndicatorColour(uint32_t bgr) { emit IndicatorColourChanged(bgr); }

std::optional<EcuType> PanelMirror::SelectedType() const { return choices_.type; }

bool PanelMirror::EcuDataTicked() const { return choices_.ecu_data; }

bool PanelMirror::CalibrationTicked() const { return choices_.calibration; }

void PanelMirror::SetServiceMenusEnabled(bool enabled) { emit ServiceMenusEnabledChanged(enabled); }

void PanelMirror::HideFaultWindow() { emit FaultWindowHidden(); }

void PanelMirror::ProcessPendingEvents() { scheduler_.ApplyStateChanges(); }

void PanelMirror::PublishSample(const LiveSample& sample) {
  watch_.OnSample(sample);
  emit SampleTaken(sample);
}

void PanelMirror::TimerOn(int interval) { timer_.TimerOn(interval); }

ServiceMirror::ServiceMirror(Links links, QObject* parent)
    : QObject(parent), links_(std::move(links)) {}

std::optional<EcuType> ServiceMirror::SelectedType() const { return links_.choices.type; }

void ServiceMirror::TimerOn(int interval) {
  if (interval > 0) links_.return_port(interval);
}

void ServiceMirror::ShowMainWindow() { emit MainWindowShown(); }

bool ServiceMirror::MainWindowHidden() const { return links_.main_window_hidden(); }

void ServiceMirror::ProcessPendingEvents() { links_.scheduler.ApplyStateChanges(); }

// The window lives on its own thread and repaints whenever it is told something.
void ServiceMirror::Refresh() {}

void ServiceMirror::CloseWindow() { emit WindowClosed(); }

void ServiceMirror::ShowStatusMessage(std::string_view text) { emit StatusMessage(Q(text)); }

void ServiceMirror::AppendLine(std::string_view text) { emit LogLine(Q(text)); }

// The window brings every line into view as it appends it.
void ServiceMirror::MoveCaretToEnd() {}

void ServiceMirror::SetMaximum(float maximum) { emit ProgressMaximumChanged(maximum); }

void ServiceMirror::SetValue(float value) { emit ProgressValueChanged(value); }

void ServiceMirror::SetTestButtonsEnabled(bool enabled) { emit TestButtonsEnabledChanged(enabled); }

}  // namespace kline
