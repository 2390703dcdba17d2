#include "engine/mirrors.h"

namespace kline {

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

bool PanelMirror::ChannelTicked(int channel) const {
  return engine_.choices().channels.at(static_cast<size_t>(channel));
}

void PanelMirror::SetChannelTicked(int channel, bool ticked) {
  engine_.SetChannelState(channel, ticked);
  emit engine_.ChannelTickedChanged(channel, ticked);
}

std::string PanelMirror::ValueText(int channel) const {
  return values_.at(static_cast<size_t>(channel));
}

void PanelMirror::SetValueText(int channel, const std::string& text) {
  values_.at(static_cast<size_t>(channel)) = text;
  emit engine_.ValueTextChanged(channel, Q(text));
}

void PanelMirror::SetValueStale(int channel, bool stale) {
  emit engine_.ValueStaleChanged(channel, stale);
}

void PanelMirror::SetSpeedBar(int lit_below) { emit engine_.SpeedBarChanged(lit_below); }

void PanelMirror::SetSpeedReadout(const std::string& text) {
  emit engine_.SpeedReadoutChanged(Q(text));
}

void PanelMirror::AppendInfo(const std::string& text) {
  const QString line = Q(text);
  engine_.CheckIdentification(line);
  emit engine_.InfoAppended(line);
}

void PanelMirror::ClearInfo() { emit engine_.InfoCleared(); }

void PanelMirror::SetStatus(const std::string& text) { emit engine_.StatusChanged(Q(text)); }

// While the connection fails, what the wire showed goes with the session's own message.
void PanelMirror::ShowPortMessage(const std::string& text) {
  QString message = Q(text);
  if (!message.isEmpty() && !engine_.diagnosis().isEmpty()) {
    message += QStringLiteral(": ") + engine_.diagnosis();
  }
  emit engine_.PortMessage(message);
}

std::string PanelMirror::PortFieldText() const {
  return engine_.choices().port_field.toStdString();
}

void PanelMirror::SetConnectTicked(bool ticked) { emit engine_.ConnectTickedChanged(ticked); }

void PanelMirror::SetConnectCaption(const std::string& caption) {
  emit engine_.ConnectCaptionChanged(Q(caption));
}

void PanelMirror::SetIndicatorColour(uint32_t bgr) { emit engine_.IndicatorColourChanged(bgr); }

std::optional<EcuType> PanelMirror::SelectedType() const { return engine_.choices().type; }

bool PanelMirror::EcuDataTicked() const { return engine_.choices().ecu_data; }

bool PanelMirror::CalibrationTicked() const { return engine_.choices().calibration; }

void PanelMirror::SetServiceMenusEnabled(bool enabled) {
  emit engine_.ServiceMenusEnabledChanged(enabled);
}

void PanelMirror::HideFaultWindow() { emit engine_.FaultWindowHidden(); }

void PanelMirror::ProcessPendingEvents() { engine_.ApplyPendingCommands(); }

void PanelMirror::PublishSample(const LiveSample& sample) {
  engine_.OnSample(sample);
  emit engine_.SampleTaken(sample);
}

void PanelMirror::TimerOn(int interval) { engine_.TimerOn(interval); }

std::optional<EcuType> ServiceMirror::SelectedType() const { return engine_.choices().type; }

void ServiceMirror::TimerOn(int interval) {
  if (interval > 0) engine_.ReturnPortToSession(interval);
}

void ServiceMirror::ShowMainWindow() { emit engine_.MainWindowShown(); }

// The main window is hidden exactly while a service window holds the port.
bool ServiceMirror::MainWindowHidden() const { return engine_.owner() != PortOwner::kSession; }

void ServiceMirror::ProcessPendingEvents() { engine_.ApplyPendingCommands(); }

// The window lives on its own thread and repaints whenever it is told something.
void ServiceMirror::Refresh() {}

void ServiceMirror::CloseWindow() { emit engine_.ServiceWindowClosed(window_); }

void ServiceMirror::ShowStatusMessage(std::string_view text) { emit engine_.PortMessage(Q(text)); }

void ServiceMirror::AppendLine(std::string_view text) { emit engine_.LogLine(window_, Q(text)); }

// The window brings every line into view as it appends it.
void ServiceMirror::MoveCaretToEnd() {}

void ServiceMirror::SetMaximum(float maximum) { emit engine_.ProgressMaximumChanged(maximum); }

void ServiceMirror::SetValue(float value) { emit engine_.ProgressValueChanged(value); }

void ServiceMirror::SetTestButtonsEnabled(bool enabled) {
  emit engine_.TestButtonsEnabledChanged(enabled);
}

}  // namespace kline
