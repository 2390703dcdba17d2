#include "sim/pty_ecu_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kline::sim {

namespace {

// The longest the server sleeps without looking at the port and the clock.
constexpr int64_t kMaxWaitUs = 2000;
// Trace rows are final once every byte that began before them has ended.
constexpr int64_t kTraceSettleUs = 50000;

std::string ModeName(EcuMode mode) {
  switch (mode) {
    case EcuMode::kOff:
      return "off";
    case EcuMode::kWaitingForWakeUp:
      return "waiting for wake-up";
    case EcuMode::kSwitching:
      return "switching rate";
    case EcuMode::kWorking:
      return "working";
    case EcuMode::kDiagnostic:
      break;
  }
  return "diagnostic";
}

// Raw mode on the slave, set from the master: no echo, no line editing, no CR/LF mapping,
// whoever opens the port and however they set it up.
bool MakeRaw(const std::string& slave_path, std::string* error) {
  // Opening and closing the slave once also puts the master into the hung-up state, which
  // is how the server tells that nobody has the port open.
  const int slave = open(slave_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (slave < 0) {
    *error = "cannot open " + slave_path + ": " + std::strerror(errno);
    return false;
  }
  termios tio{};
  bool ok = tcgetattr(slave, &tio) == 0;
  if (ok) {
    cfmakeraw(&tio);
    ok = tcsetattr(slave, TCSANOW, &tio) == 0;
  }
  if (!ok) *error = "cannot set " + slave_path + " to raw mode: " + std::strerror(errno);
  close(slave);
  return ok;
}

}  // namespace

PtyEcuServer::PtyEcuServer(Profile profile, Options options)
    : options_(std::move(options)), model_(std::move(profile)) {}

PtyEcuServer::PtyEcuServer(std::unique_ptr<EcuSide> ecu, Options options)
    : options_(std::move(options)), model_(std::move(ecu)) {}

PtyEcuServer::~PtyEcuServer() { Stop(); }

bool PtyEcuServer::Start(std::string* error) {
  std::string problem;
  pty_ = std::make_unique<PseudoTerminal>();
  if (!pty_->ok()) {
    problem = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
  } else if (MakeRaw(pty_->slave_path(), &problem)) {
    slave_path_ = pty_->slave_path();
    if (!options_.trace_path.empty()) {
      trace_file_ = std::fopen(options_.trace_path.c_str(), "w");
      if (trace_file_ == nullptr) {
        problem = "cannot write " + options_.trace_path + ": " + std::strerror(errno);
      } else {
        std::fputs(TraceCsvHead(model_.ecu().type()).c_str(), trace_file_);
      }
    }
  }
  if (!problem.empty()) {
    if (error) *error = problem;
    pty_.reset();
    return false;
  }
  start_us_ = clock_.NowUs();
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void PtyEcuServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  if (trace_file_ != nullptr) {
    model_.AdvanceTo(NowUs());
    WriteTrace(INT64_MAX);
    std::fclose(trace_file_);
    trace_file_ = nullptr;
  }
  pty_.reset();
}

void PtyEcuServer::Run() {
  while (!stop_) {
    int64_t wait_us = kMaxWaitUs;
    bool watch_port = false;
    {
      std::lock_guard lock(mutex_);
      const int64_t now = NowUs();
      Serve(now);
      if (const std::optional<int64_t> next = model_.NextEventUs()) {
        wait_us = std::clamp<int64_t>(*next - now, 0, kMaxWaitUs);
      }
      WriteTrace(now - kTraceSettleUs);
      TrimTrace(now);
      watch_port = pc_open_ && !pulled_;
    }
    if (watch_port) {
      // Wakes at once when the PC side writes.
      pollfd watch{pty_->master(), POLLIN, 0};
      const timespec timeout{0, static_cast<long>(wait_us * 1000)};
      ppoll(&watch, 1, &timeout, nullptr);
    } else {
      clock_.SleepUs(wait_us);
    }
  }
  // A cable pull asked for just as the server stopped still closes the port.
  std::lock_guard lock(mutex_);
  if (pull_requested_ && !pulled_) Serve(NowUs());
}

void PtyEcuServer::Serve(int64_t now_us) {
  if (pull_requested_ && !pulled_) {
    pty_->CloseMaster();
    pulled_ = true;
    pc_open_ = false;
    pulled_cv_.notify_all();
  }
  if (pulled_) {
    model_.AdvanceTo(now_us);
    model_.TakeReceived();
    return;
  }
  const int master = pty_->master();
  pollfd probe{master, POLLIN, 0};
  poll(&probe, 1, 0);
  const bool hung_up = (probe.revents & POLLHUP) != 0;
  if (!pc_open_ && !hung_up) {
    pc_open_ = true;
    model_.PcPort(now_us, true);
    model_.SetPcBaud(now_us, PtyBaudRate(master).value_or(model_.pc_baud()));
    if (options_.ignition_delay_ms >= 0) {
      model_.SetIgnition(now_us, false);
      model_.PlanIgnition(now_us + int64_t{options_.ignition_delay_ms} * 1000);
    }
    model_.TakeReceived();
  }
  if (pc_open_) {
    // One byte at a time, so each is sent at the rate the PC side had just before it.
    uint8_t byte = 0;
    while (true) {
      if (const std::optional<int32_t> baud = PtyBaudRate(master)) {
        if (*baud != model_.pc_baud()) model_.SetPcBaud(now_us, *baud);
      }
      if (read(master, &byte, 1) != 1) break;
      model_.PcWrite(now_us, byte);
      // A replay pulls the cable where its recording did; the next pass closes the port.
      if (model_.cable_pulled()) pull_requested_ = true;
    }
  }
  if (pc_open_ && hung_up) {
    pc_open_ = false;
    model_.PcPort(now_us, false);
  }
  model_.AdvanceTo(now_us);
  const Bytes arrived = model_.TakeReceived();
  if (pc_open_ && !arrived.empty()) {
    // A full buffer means the PC side is not reading: the bytes are lost, as on a wire.
    [[maybe_unused]] const ssize_t written = write(master, arrived.data(), arrived.size());
  }
}

void PtyEcuServer::WriteTrace(int64_t before_us) {
  if (trace_file_ == nullptr) return;
  const std::string rows =
      TraceCsvRows(model_.trace(), &traced_entries_, model_.notes(), &traced_notes_, before_us);
  if (rows.empty()) return;
  std::fputs(rows.c_str(), trace_file_);
  std::fflush(trace_file_);
}

void PtyEcuServer::TrimTrace(int64_t now_us) {
  const int64_t keep_us = int64_t{options_.trace_keep_s} * 1000000;
  // Trimming moves the whole trace; do it in steps of a tenth of what is kept.
  if (model_.trace().empty() || model_.trace().front().time_us > now_us - keep_us - keep_us / 10) {
    return;
  }
  // Never forget what the file has not had yet.
  const int64_t before = std::min(now_us - keep_us, now_us - kTraceSettleUs);
  const auto [entries, notes] = model_.ForgetTraceBefore(before);
  traced_entries_ -= std::min(traced_entries_, entries);
  traced_notes_ -= std::min(traced_notes_, notes);
}

void PtyEcuServer::SetIgnition(bool on) {
  std::lock_guard lock(mutex_);
  model_.SetIgnition(NowUs(), on);
}

void PtyEcuServer::SetAnswer(uint8_t request, uint8_t answer) {
  std::lock_guard lock(mutex_);
  model_.SetAnswer(request, answer);
}

void PtyEcuServer::InjectFault(FaultKind kind, int arg) {
  std::unique_lock lock(mutex_);
  model_.InjectFault(NowUs(), kind, arg);
  if (kind != FaultKind::kCablePulled) return;
  pull_requested_ = true;
  if (thread_.joinable() && !stop_) {
    // The serving thread owns the master: let it close it.
    pulled_cv_.wait(lock, [this] { return pulled_; });
  } else {
    Serve(NowUs());
  }
}

void PtyEcuServer::ClearFaults() {
  std::lock_guard lock(mutex_);
  model_.AdvanceTo(NowUs());
  model_.ClearFaults();
}

std::vector<TraceEntry> PtyEcuServer::Trace() const {
  std::lock_guard lock(mutex_);
  return model_.trace();
}

std::vector<TraceNote> PtyEcuServer::Notes() const {
  std::lock_guard lock(mutex_);
  return model_.notes();
}

bool PtyEcuServer::PcPortOpen() const {
  std::lock_guard lock(mutex_);
  return pc_open_;
}

std::string PtyEcuServer::Execute(const SimCommand& command) {
  switch (command.kind) {
    case SimCommand::Kind::kIgnition:
      SetIgnition(command.on);
      return command.on ? "ok ignition on" : "ok ignition off";
    case SimCommand::Kind::kSet:
      SetAnswer(command.request, command.answer);
      return "ok request " + HexByte(command.request) + " " + HexByte(command.answer) + " fixed";
    case SimCommand::Kind::kFault:
      InjectFault(command.fault, command.arg);
      return "ok fault " + std::string(FaultName(command.fault)) + " " +
             std::to_string(command.arg);
    case SimCommand::Kind::kClearFaults: {
      ClearFaults();
      std::lock_guard lock(mutex_);
      return pulled_ ? "ok faults cleared (the pseudo-terminal stays closed)" : "ok faults cleared";
    }
    case SimCommand::Kind::kQuit:
      return "ok bye";
    case SimCommand::Kind::kStatus:
      break;
  }
  std::lock_guard lock(mutex_);
  model_.AdvanceTo(NowUs());
  const EcuSide& ecu = model_.ecu();
  return "ok " + ModeName(ecu.mode()) + ", ECU at " + std::to_string(ecu.baud()) +
         " baud, PC side at " + std::to_string(model_.pc_baud()) + " baud, port " +
         (pulled_    ? "pulled"
          : pc_open_ ? "open"
                     : "closed");
}

std::string PtyEcuServer::Execute(std::string_view line, bool* quit) {
  std::string error;
  const std::optional<SimCommand> command = ParseSimCommand(line, &error);
  if (quit) *quit = command && command->kind == SimCommand::Kind::kQuit;
  if (!command) return "error " + error;
  return Execute(*command);
}

std::unique_ptr<PtyEcuServer> StartReplayServer(const TraceFile& trace, EcuType type,
                                                ReplayEcu::Options replay, std::string* error) {
  std::unique_ptr<ReplayEcu> ecu = ReplayEcu::FromTrace(trace, type, std::move(replay), error);
  if (!ecu) return nullptr;
  PtyEcuServer::Options options;
  // The recorded times already hold the moment of key-on.
  options.ignition_delay_ms = 0;
  auto server = std::make_unique<PtyEcuServer>(std::move(ecu), options);
  if (!server->Start(error)) return nullptr;
  return server;
}

}  // namespace kline::sim
