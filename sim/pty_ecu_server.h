// Serves the simulated ECU on a pseudo-terminal in real time, on a thread of its own: the
// program under test opens the slave path like a serial port. kline-sim wraps it, and the
// main program and end-to-end tests start it in-process.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/clock.h"
#include "link/pty.h"
#include "link/trace.h"
#include "sim/line_model.h"
#include "sim/profile.h"
#include "sim/replay_ecu.h"
#include "sim/sim_command.h"

namespace kline::sim {

class PtyEcuServer {
 public:
  struct Options {
    // Ignition comes on this long after the PC side opens the port, at every opening;
    // negative: only by command.
    int ignition_delay_ms = 500;
    // CSV of the line trace, written as the line runs; empty: none.
    std::string trace_path;
    // How much trace the server keeps in memory for Trace().
    int trace_keep_s = 120;
  };

  PtyEcuServer(Profile profile, Options options);
  // Another ECU on the same wire (a replayed recording).
  PtyEcuServer(std::unique_ptr<EcuSide> ecu, Options options);
  ~PtyEcuServer();
  PtyEcuServer(const PtyEcuServer&) = delete;
  PtyEcuServer& operator=(const PtyEcuServer&) = delete;

  // Opens the pseudo-terminal and the trace file and starts serving.
  bool Start(std::string* error);
  // Stops serving, writes the rest of the trace and closes the pseudo-terminal.
  void Stop();
  const std::string& slave_path() const { return slave_path_; }

  // Safe from any thread while the server runs.
  void SetIgnition(bool on);
  void SetAnswer(uint8_t request, uint8_t answer);
  // kCablePulled closes the pseudo-terminal for good; it returns once it is closed.
  void InjectFault(FaultKind kind, int arg = 0);
  void ClearFaults();
  // Runs one command and gives its one-line reply; `quit` tells whether it was "quit".
  std::string Execute(const SimCommand& command);
  std::string Execute(std::string_view line, bool* quit);
  std::vector<TraceEntry> Trace() const;
  std::vector<TraceNote> Notes() const;
  bool PcPortOpen() const;
  // Runs `fn` with the model, under the server's lock, brought up to the present.
  template <typename Fn>
  auto WithModel(Fn fn) {
    std::lock_guard lock(mutex_);
    model_.AdvanceTo(NowUs());
    return fn(model_);
  }

 private:
  int64_t NowUs() const { return clock_.NowUs() - start_us_; }
  void Run();
  void Serve(int64_t now_us);
  void WriteTrace(int64_t before_us);
  void TrimTrace(int64_t now_us);

  Options options_;
  mutable SteadyClock clock_;
  int64_t start_us_ = 0;
  std::unique_ptr<PseudoTerminal> pty_;
  std::string slave_path_;
  std::FILE* trace_file_ = nullptr;
  size_t traced_entries_ = 0;
  size_t traced_notes_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable pulled_cv_;
  LineModel model_;
  bool pc_open_ = false;
  bool pull_requested_ = false;
  bool pulled_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A recorded conversation replayed, started: the ECU's first bytes go out at their recorded
// times after the port opens. Null, with `error` set, when there is nothing to replay or the
// pseudo-terminal could not be made.
std::unique_ptr<PtyEcuServer> StartReplayServer(const TraceFile& trace, EcuType type,
                                                ReplayEcu::Options replay, std::string* error);

}  // namespace kline::sim
