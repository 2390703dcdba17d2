#include "sim/simulated_line.h"

#include <utility>

namespace kline::sim {

SimulatedLine::SimulatedLine(Clock& clock, Profile profile, int ignition_delay_ms)
    : clock_(clock), model_(std::move(profile)), ignition_delay_ms_(ignition_delay_ms) {}

SimulatedLine::SimulatedLine(Clock& clock, std::unique_ptr<EcuSide> ecu, int ignition_delay_ms)
    : clock_(clock), model_(std::move(ecu)), ignition_delay_ms_(ignition_delay_ms) {}

void SimulatedLine::Sync() const {
  model_.AdvanceTo(clock_.NowUs());
  Bytes arrived = model_.TakeReceived();
  if (!open_ || arrived.empty()) return;
  rx_.insert(rx_.end(), arrived.begin(), arrived.end());
  received_ = true;
}

void SimulatedLine::SetIgnition(bool on) {
  Sync();
  model_.SetIgnition(clock_.NowUs(), on);
}

void SimulatedLine::SetAnswer(uint8_t request, uint8_t answer) {
  model_.SetAnswer(request, answer);
}

void SimulatedLine::InjectFault(FaultKind kind, int arg) {
  Sync();
  model_.InjectFault(clock_.NowUs(), kind, arg);
  if (kind == FaultKind::kCablePulled && open_) Vanish();
}

void SimulatedLine::Vanish() {
  open_ = false;
  lost_ = true;
  rx_.clear();
}

void SimulatedLine::ClearFaults() {
  Sync();
  model_.ClearFaults();
}

const std::vector<TraceEntry>& SimulatedLine::trace() const {
  Sync();
  return model_.trace();
}

const std::vector<TraceNote>& SimulatedLine::notes() const {
  Sync();
  return model_.notes();
}

bool SimulatedLine::InWorkingMode() const {
  Sync();
  return model_.ecu().mode() == EcuMode::kWorking;
}

bool SimulatedLine::InDiagnosticMode() const {
  Sync();
  return model_.ecu().mode() == EcuMode::kDiagnostic;
}

bool SimulatedLine::Open(const std::string& /*path*/, const LineSettings& settings) {
  Sync();
  if (model_.cable_pulled()) {
    open_failure_ = OpenFailure::kNoSuchPort;
    return false;
  }
  if (open_) {
    open_failure_ = OpenFailure::kBusy;
    return false;
  }
  const int64_t now = clock_.NowUs();
  open_ = true;
  lost_ = false;
  received_ = false;
  rx_.clear();
  open_failure_ = OpenFailure::kNone;
  settings_ = settings;
  model_.PcPort(now, true);
  model_.SetPcBaud(now, settings.baud);
  if (ignition_delay_ms_ >= 0) {
    model_.SetIgnition(now, false);
    model_.PlanIgnition(now + int64_t{ignition_delay_ms_} * 1000);
  }
  return true;
}

void SimulatedLine::Close() {
  Sync();
  if (open_) model_.PcPort(clock_.NowUs(), false);
  open_ = false;
  rx_.clear();
}

std::optional<LineSettings> SimulatedLine::ReadLineSettings() {
  if (!open_) return std::nullopt;
  return settings_;
}

bool SimulatedLine::WriteLineSettings(const LineSettings& settings) {
  if (!open_) return false;
  Sync();
  settings_ = settings;
  model_.SetPcBaud(clock_.NowUs(), settings.baud);
  return true;
}

int SimulatedLine::PendingCount() {
  Sync();
  return rx_.size() > 0xFFFF ? 0xFFFF : static_cast<int>(rx_.size());
}

Bytes SimulatedLine::ReadAll() {
  Sync();
  return std::exchange(rx_, {});
}

bool SimulatedLine::WriteByte(uint8_t value) {
  if (!open_) return false;
  Sync();
  model_.PcWrite(clock_.NowUs(), value);
  // A replay pulls the cable where its recording did: the write finds the device gone.
  if (model_.cable_pulled()) {
    Vanish();
    return false;
  }
  return true;
}

void SimulatedLine::Drain() {
  if (!open_) return;
  Sync();
  clock_.SleepUs(model_.pc_free_us() - clock_.NowUs());
}

bool SimulatedLine::LastEventWasReceive() {
  Sync();
  return received_;
}

}  // namespace kline::sim
