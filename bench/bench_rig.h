// A real session on a real serial device against the simulator on a pseudo-terminal, in
// real time: what the benchmarks measure.
#pragma once

#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/ini_file.h"
#include "link/kline_port.h"
#include "link/qt_serial_device.h"
#include "session/session_driver.h"
#include "session/testing/fake_panel.h"
#include "sim/pty_ecu_server.h"

namespace kline::bench {

// Real time that also keeps every sleep: what was asked for and what it took.
class RecordingClock : public Clock {
 public:
  struct Sleep {
    int64_t asked_us;
    int64_t took_us;
  };
  int64_t NowUs() override { return real_.NowUs(); }
  void SleepUs(int64_t us) override;
  std::vector<Sleep>& sleeps() { return sleeps_; }

 private:
  SteadyClock real_;
  std::vector<Sleep> sleeps_;
};

class BenchRig {
 public:
  // The ECU answers `latency_us` after each echo; ignition on as soon as the port opens.
  BenchRig(EcuType type, int latency_us);
  // Against a server made but not started (a replay, a trace written).
  BenchRig(EcuType type, std::unique_ptr<sim::PtyEcuServer> server);
  ~BenchRig();

  bool ok() const { return ok_; }
  // Ticks "Connect" and runs ticks until the session polls live data with every channel.
  bool ConnectAndReachPolling();
  // One timer interval of real time, then one tick.
  void TimerTick();

  sim::PtyEcuServer& server() { return *server_; }
  RecordingClock& clock() { return clock_; }
  KLinePort& port() { return port_; }
  FakePanel& panel() { return panel_; }
  SessionDriver& driver() { return driver_; }

 private:
  bool ok_ = false;
  std::unique_ptr<sim::PtyEcuServer> server_;
  QTemporaryDir dir_;
  IniFile ini_;
  RecordingClock clock_;
  QtSerialDevice device_;
  KLinePort port_;
  FakePanel panel_;
  SessionDriver driver_;
};

// The shortest live cycle the session's own pauses allow with all nine channels: the timer
// interval, the tick's 5 ms, the step's 8 ms, and per request 8 ms plus echo and answer on the
// wire, seen only at the next look at the receive count.
double FloorMs(int32_t baud);

struct Stats {
  double mean = 0;
  double median = 0;
  double p95 = 0;
  double max = 0;
};
Stats Summarise(std::vector<double> values);

// Runs a benchmark inside the application object that serial ports need.
int WithApplication(int argc, char** argv, int (*run)());

}  // namespace kline::bench
