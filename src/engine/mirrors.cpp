#include "engine/mirrors.h"

#include "engine/text.h"

namespace kline {

PanelMirror::PanelMirror(PanelChoices& choices, ConnectionWatch& watch, WireScheduler& scheduler,
                         SessionTimer& timer, EngineEvents& events)
    : choices_(choices), watch_(watch), scheduler_(scheduler), timer_(timer), events_(events) {}

bool PanelMirror::ChannelTicked(int channel) const {
  return choices_.channels.at(static_cast<size_t>(channel));
}

void PanelMirror::SetChannelTicked(int channel, bool ticked) {
  choices_.channels.at(static_cast<size_t>(channel)) = ticked;
  emit events_.ChannelTicked(channel, ticked);
}

std::string PanelMirror::ValueText(int channel) const {
  return values_.at(static_cast<size_t>(channel));
}

void PanelMirror::SetValueText(int channel, const std::string& text) {
  values_.at(static_cast<size_t>(channel)) = text;
  emit events_.ReadingChanged(channel, Q(text));
}

void PanelMirror::SetValueStale(int channel, bool stale) {
  emit events_.ReadingStale(channel, stale);
}

void PanelMirror::SetSpeedBar(int lit_below) { emit events_.SpeedBarChanged(lit_below); }

void PanelMirror::SetSpeedReadout(const std::string& text) {
  emit events_.SpeedFigureChanged(Q(text));
}

// The session ends each of its lines with CR LF; the facts that follow carry them as lines.
void PanelMirror::AppendInfo(const std::string& text) {
  QString lines = Q(text);
  if (lines.endsWith(QStringLiteral("\r\n"))) lines.chop(2);
  info_lines_ << lines.split(QStringLiteral("\r\n"));
}

void PanelMirror::ClearInfo() { info_lines_.clear(); }

// The session says what it read after each change of the info box.
void PanelMirror::ShowIdentification(const EcuIdentification& facts) {
  facts_ = facts;
  emit events_.IdentificationChanged(facts_, info_lines_);
}

void PanelMirror::SetStatus(const std::string& text) { emit events_.StepChanged(Q(text)); }

// While the connection fails, what the wire showed goes with the session's own message.
void PanelMirror::ShowPortMessage(const std::string& text) {
  QString message = Q(text);
  if (!message.isEmpty() && !watch_.diagnosis().isEmpty()) {
    message += QStringLiteral(": ") + watch_.diagnosis();
  }
  emit events_.Message(message);
}

std::string PanelMirror::PortFieldText() const { return choices_.port_field.toStdString(); }

// The session ticks the box when the port opens; it unticks it for a field that names no port,
// and after its disconnect when the port was lost.
void PanelMirror::SetConnectTicked(bool ticked) {
  if (ticked) {
    SetState(ConnectionState::kOpen);
  } else if (state_ == ConnectionState::kClosed) {
    SetState(ConnectionState::kLost);
  } else {
    refused_ = true;
    SetState(ConnectionState::kRefused);
  }
}

// The caption follows the state: "Disconnect" while connected.
void PanelMirror::SetConnectCaption(const std::string&) {}

// Red: the disconnect of an open port. Green comes with the ticked box.
void PanelMirror::SetIndicatorColour(uint32_t bgr) {
  if (bgr == kIndicatorRed) SetState(ConnectionState::kClosed);
}

void PanelMirror::AfterConnect(bool port_open) {
  if (!port_open && !refused_) SetState(ConnectionState::kNotOpened);
}

void PanelMirror::SetState(ConnectionState state) {
  if (state == state_) return;
  state_ = state;
  emit events_.ConnectionChanged(state);
}

std::optional<EcuType> PanelMirror::SelectedType() const { return choices_.type; }

bool PanelMirror::EcuDataTicked() const { return choices_.ecu_data; }

bool PanelMirror::CalibrationTicked() const { return choices_.calibration; }

// The service menus open while the ECU is woken, and nowhere else.
void PanelMirror::SetServiceMenusEnabled(bool enabled) {
  if (enabled && state_ == ConnectionState::kOpen) SetState(ConnectionState::kWoken);
  if (!enabled && state_ == ConnectionState::kWoken) SetState(ConnectionState::kOpen);
}

// A disconnect hides the fault window: the closed state says as much.
void PanelMirror::HideFaultWindow() {}

void PanelMirror::ProcessPendingEvents() { scheduler_.ApplyStateChanges(); }

void PanelMirror::PublishSample(const LiveSample& sample) {
  watch_.OnSample(sample);
  emit events_.SampleTaken(sample);
}

void PanelMirror::TimerOn(int interval) { timer_.TimerOn(interval); }

ServiceMirror::ServiceMirror(ServiceWindowId window, Links links, EngineEvents& events)
    : window_(window), links_(std::move(links)), events_(events) {}

std::optional<EcuType> ServiceMirror::SelectedType() const { return links_.choices.type; }

void ServiceMirror::TimerOn(int interval) {
  if (interval > 0) links_.return_port(interval);
}

// The port going back to the session brings the main window back: the owner's change says it.
void ServiceMirror::ShowMainWindow() {}

bool ServiceMirror::MainWindowHidden() const { return links_.main_window_hidden(); }

void ServiceMirror::ProcessPendingEvents() { links_.scheduler.ApplyStateChanges(); }

// The window lives on its own thread and repaints whenever it is told something.
void ServiceMirror::Refresh() {}

// The test window closes when its routines give the port back: the owner's change says it.
void ServiceMirror::CloseWindow() {}

void ServiceMirror::ShowStatusMessage(std::string_view text) { emit events_.Message(Q(text)); }

void ServiceMirror::AppendLine(std::string_view text) {
  emit events_.ServiceLine(window_, Q(text));
}

// The window brings every line into view as it appends it.
void ServiceMirror::MoveCaretToEnd() {}

void ServiceMirror::SetMaximum(float maximum) {
  maximum_ = maximum;
  emit events_.TestProgress(value_, maximum_);
}

void ServiceMirror::SetValue(float value) {
  value_ = value;
  emit events_.TestProgress(value_, maximum_);
}

void ServiceMirror::SetTestButtonsEnabled(bool enabled) { emit events_.TestRunning(!enabled); }

void ServiceMirror::ReportVerdict(ServiceVerdict verdict) {
  emit events_.Verdict(window_, verdict);
}

}  // namespace kline
