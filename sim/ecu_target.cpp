#include "sim/ecu_target.h"

#include "sim/replay_ecu.h"

namespace kline::sim {

bool EcuTarget::CanReplay(const TraceFile& trace, EcuType type, std::string* error) {
  return ReplayEcu::FromTrace(trace, type, {}, error) != nullptr;
}

bool EcuTarget::StartDemo(EcuType type, [[maybe_unused]] std::string* error) {
  Profile profile = BuiltinProfile(type);
  const int ignition_delay_ms = profile.needs_wake_up ? 500 : 0;
#ifdef KLINE_SIM_ON_PTY
  PtyEcuServer::Options options;
  options.ignition_delay_ms = ignition_delay_ms;
  server_ = std::make_unique<PtyEcuServer>(std::move(profile), options);
  return server_->Start(error);
#else
  line_ = std::make_unique<SimulatedLine>(clock_, std::move(profile), ignition_delay_ms);
  return true;
#endif
}

#ifdef KLINE_SIM_ON_PTY
std::optional<TraceFile> EcuTarget::LoadReplay(const std::string& path, std::string* error) {
  return LoadTrace(path, error);
}

bool EcuTarget::StartReplay(const TraceFile& trace, EcuType type,
                            std::function<void(const std::string&)> report, std::string* error) {
  server_ = StartReplayServer(trace, type, {.loop = false, .report = std::move(report)}, error);
  return server_ != nullptr;
}

QString EcuTarget::port_field() const {
  return server_ ? QString::fromStdString(server_->slave_path()) : QString();
}

SerialDevice* EcuTarget::device() const { return nullptr; }
#else
// Without pseudo-terminals only the demonstration's ECU runs, inside the program.
static constexpr char kNoReplay[] = "--replay needs pseudo-terminals, which this system lacks";

std::optional<TraceFile> EcuTarget::LoadReplay(const std::string& /*path*/, std::string* error) {
  *error = kNoReplay;
  return std::nullopt;
}

bool EcuTarget::StartReplay(const TraceFile& /*trace*/, EcuType /*type*/,
                            std::function<void(const std::string&)> /*report*/,
                            std::string* error) {
  *error = kNoReplay;
  return false;
}

// A name in Windows' device namespace, which the port field takes as it stands and no real
// port has.
QString EcuTarget::port_field() const {
  return line_ ? QStringLiteral("\\\\.\\SIMULATED-ECU") : QString();
}

SerialDevice* EcuTarget::device() const { return line_.get(); }
#endif

}  // namespace kline::sim
