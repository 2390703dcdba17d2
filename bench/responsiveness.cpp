// How long the window's thread goes without handling events, in each state of a session
// against the simulator on a pseudo-terminal in real time: the real window, the real engine
// thread, the real serial port. A 1 ms timer on the window's thread notes every gap. The
// live-polling states also give the poll rate against its floor and the program's CPU use
// (the simulator's thread, which stands for the ECU, not counted), bare, with a recording and
// the chart on all nine channels, and with the line monitor open as well: the program's own
// figure is taken with the 1 ms timer stopped, since its thousand wake-ups a second cost the
// window's thread about 2% of a core; the figures with it running follow.
#include <sys/resource.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_thread.h"
#include "engine/mirrors.h"
#include "sim/pty_ecu_server.h"
#include "ui/chart_window.h"
#include "ui/fault_window.h"
#include "ui/line_monitor_window.h"
#include "ui/main_window.h"
#include "ui/test_window.h"

namespace kline::bench {
namespace {

constexpr int kRequestsPerCycle = 11;

double ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// The gaps between two turns of the window thread's event loop: how long each took, and how
// much of it the thread itself ran. On a machine whose two cores are busy with other work
// the first includes the scheduler's waits; the second is what the program asked for.
class StallMeter {
 public:
  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Note(); });
    clock_.start();
    timer_.start();
  }
  // The 1 ms timer alone costs the window thread about 2% of a core.
  void Pause() { timer_.stop(); }
  void Restart() {
    timer_.start();
    longest_ms_ = 0;
    busiest_ms_ = 0;
    last_ns_ = clock_.nsecsElapsed();
    last_cpu_ns_ = ThreadCpuNs();
  }
  double LongestMs() {
    Note();
    return longest_ms_;
  }
  double BusiestMs() {
    Note();
    return busiest_ms_;
  }

 private:
  void Note() {
    const qint64 now = clock_.nsecsElapsed();
    const double cpu_now = ThreadCpuNs();
    longest_ms_ = std::max(longest_ms_, static_cast<double>(now - last_ns_) / 1e6);
    busiest_ms_ = std::max(busiest_ms_, (cpu_now - last_cpu_ns_) / 1e6);
    last_ns_ = now;
    last_cpu_ns_ = cpu_now;
  }
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ns_ = 0;
  double last_cpu_ns_ = 0;
  double longest_ms_ = 0;
  double busiest_ms_ = 0;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QStringList Threads() {
  return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

// User and system time of some of this process's threads.
double ThreadCpuSeconds(const QStringList& threads) {
  double ticks = 0;
  for (const QString& thread : threads) {
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(thread));
    if (!stat.open(QIODevice::ReadOnly)) continue;
    // After the command name in parentheses: state is field 3, utime and stime fields 14, 15.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() > 12) ticks += fields[11].toDouble() + fields[12].toDouble();
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Runs the window thread's event loop as the program's own does, until `done` (looked at every
// 5 ms) or for `bound_ms`. QTest's waits would not do: between two passes over the events they
// sleep for 10 ms, a stall of the bench's own that every state would show.
bool Spin(const std::function<bool()>& done, int bound_ms) {
  if (done && done()) return true;
  QEventLoop loop;
  bool reached = false;
  QTimer bound;
  bound.setSingleShot(true);
  QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
  bound.start(bound_ms);
  QTimer check;
  if (done) {
    QObject::connect(&check, &QTimer::timeout, [&] {
      reached = done();
      if (reached) loop.quit();
    });
    check.start(5);
  }
  loop.exec();
  return reached;
}

// With nothing to look at, the wait adds no wake-up of its own to the program's.
void Spin(int ms) { Spin(nullptr, ms); }

struct Row {
  std::string state;
  double longest_ms;
  double busiest_ms;
};

}  // namespace

int Run() {
  // An ECU that answers as soon as the echo ends, so that the floor below is the whole cost.
  sim::Profile profile = sim::BuiltinProfile(EcuType::k15m);
  profile.latency_us = 0;
  sim::PtyEcuServer server(profile, {});
  std::string error;
  QStringList simulator = Threads();
  if (!server.Start(&error)) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    return 1;
  }
  for (const QString& thread : std::exchange(simulator, Threads())) simulator.removeAll(thread);
  const auto program_cpu_seconds = [&] { return CpuSeconds() - ThreadCpuSeconds(simulator); };
  QTemporaryDir dir;
  const QString ini = dir.filePath(QStringLiteral("bench.ini"));
  EngineThread engine({.device = nullptr, .clock = nullptr, .settings_path = ini});
  ui::MainWindow window(engine.engine(), ini);
  window.SetPortFieldText(QString::fromStdString(server.slave_path()));
  window.show();
  // The window's first layout and paint belong to the start (bench_startup), not to connecting.
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  Spin(100);
  StallMeter meter;
  std::vector<Row> rows;
  bool ok = true;
  // Runs until `done` (for `bound_ms` when there is no end to wait for), then notes the
  // longest stall of that state.
  const auto state = [&](const char* name, const std::function<bool()>& done, int bound_ms) {
    meter.Restart();
    const bool reached = Spin(done, bound_ms);
    if (!reached && done) {
      std::fprintf(stderr, "%s: not reached\n", name);
      ok = false;
    }
    rows.push_back({name, meter.LongestMs(), meter.BusiestMs()});
  };
  int samples = 0;
  std::vector<int64_t> sample_us;
  QObject::connect(&engine.engine().events(), &EngineEvents::SampleTaken,
                   [&](const LiveSample& sample) {
                     ++samples;
                     sample_us.push_back(sample.time_us);
                   });

  window.findChild<QCheckBox*>(QStringLiteral("Check2(0)"))->click();
  state(
      "connecting and waking up", [&] { return window.TestsMenu()->isEnabled(); }, 10000);
  state(
      "identification", [&] { return samples > 0; }, 10000);

  // Live polling, bare and then with every consumer of the wire's data open: the poll rate
  // against its floor and the program's CPU use over each.
  const double reply_ms = 2 * 10 * 1000.0 / 7812;
  const double floor_ms = 50 + 5 + 8 + kRequestsPerCycle * (8 + std::ceil(reply_ms / 3) * 3);
  struct Live {
    double ratio;
    double cpu_percent;
    double window_cpu_percent;  // the window thread's share of it
    double quiet_cpu_percent;   // the program alone: as long again with the stall meter stopped
  };
  const auto live = [&](const char* name) {
    const size_t first = sample_us.size();
    const double cpu_start = program_cpu_seconds();
    const double window_start_ns = ThreadCpuNs();
    QElapsedTimer wall;
    wall.start();
    state(name, nullptr, 10000);
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    const double cycle_ms = static_cast<double>(sample_us.back() - sample_us[first]) / 1000.0 /
                            static_cast<double>(sample_us.size() - first - 1);
    const double cpu = program_cpu_seconds() - cpu_start;
    const double window_cpu_ns = ThreadCpuNs() - window_start_ns;
    meter.Pause();
    const double quiet_start = program_cpu_seconds();
    wall.restart();
    Spin(10000);
    const double quiet = program_cpu_seconds() - quiet_start;
    const double quiet_seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    meter.Restart();
    return Live{cycle_ms / floor_ms, 100.0 * cpu / seconds, 100.0 * window_cpu_ns / 1e9 / seconds,
                100.0 * quiet / quiet_seconds};
  };
  const Live bare = live("live polling, nine channels");
  QWidget* monitor = window.OpenLineMonitor();
  Spin(1000);  // the windows' first layout and paint are not the steady state
  const Live monitored = live("live, line monitor open");
  monitor->hide();
  ui::ChartWindow* chart = window.OpenChart();
  for (int i = 0; i < chart->CurveCount(); ++i) {
    chart->findChild<QCheckBox*>(QStringLiteral("Curve(%1)").arg(i))->setChecked(true);
  }
  window.StartRecording(dir.filePath(QStringLiteral("bench.csv")));
  Spin(1000);
  const Live charted = live("live, chart (9)+recording");
  window.OpenLineMonitor();
  Spin(1000);
  const Live loaded = live("live, monitor+chart+recording");

  server.InjectFault(sim::FaultKind::kSilent);
  state("silent ECU while connected", nullptr, 5000);
  server.ClearFaults();
  Spin(3000);

  window.TestsMenu()->trigger();
  ui::TestWindow* tests = nullptr;
  state(
      "entering diagnostic mode",
      [&] {
        tests = window.Form1();
        return tests && tests->Rtb1()->toPlainText().contains(QStringLiteral("OK"));
      },
      10000);
  if (tests) {
    tests->Button(0)->click();
    state(
        "actuator test",
        [&] { return tests->Rtb1()->toPlainText().contains(QStringLiteral("Test finish")); },
        15000);
    tests->close();
  }
  ok &= Spin([&] { return window.isVisible() && window.DiagMenu()->isEnabled(); }, 5000);
  window.DiagMenu()->trigger();
  ok &= Spin([&] { return window.Form3() != nullptr; }, 3000);
  if (ui::FaultWindow* faults = window.Form3()) {
    faults->findChild<QPushButton*>(QStringLiteral("ReadAll"))->click();
    state(
        "fault read, all ten", [&] { return faults->Rtb1()->toPlainText().count('\n') >= 30; },
        15000);
  }

  std::printf("%-30s %12s %12s\n", "state", "longest ms", "busiest ms");
  std::string json = "{\"bench\":\"responsiveness\",\"states\":[";
  double worst = 0;
  double busiest = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    std::printf("%-30s %12.1f %12.1f\n", rows[i].state.c_str(), rows[i].longest_ms,
                rows[i].busiest_ms);
    json += (i ? "," : "") + std::string("{\"state\":\"") + rows[i].state +
            "\",\"longest_ms\":" + std::to_string(rows[i].longest_ms) +
            ",\"busiest_ms\":" + std::to_string(rows[i].busiest_ms) + "}";
    worst = std::max(worst, rows[i].longest_ms);
    busiest = std::max(busiest, rows[i].busiest_ms);
  }
  std::printf("%-30s %12.1f %12.1f\n", "worst", worst, busiest);
  std::printf("\nlive polling, floor %.0f ms %11s %8s %18s %9s\n", floor_ms, "ratio", "CPU %",
              "with meter: CPU %", "window %");
  struct Named {
    const char* name;
    const char* key;
    const Live& live;
  };
  json += "],\"worst_ms\":" + std::to_string(worst) + ",\"busiest_ms\":" + std::to_string(busiest) +
          ",\"floor_ms\":" + std::to_string(floor_ms);
  for (const Named& n : {Named{"bare", "bare", bare}, Named{"line monitor", "monitor", monitored},
                         Named{"chart (9 channels), recording", "charted", charted},
                         Named{"monitor, chart, recording", "loaded", loaded}}) {
    std::printf("%-30s %8.3f %8.1f %18.1f %9.1f\n", n.name, n.live.ratio, n.live.quiet_cpu_percent,
                n.live.cpu_percent, n.live.window_cpu_percent);
    const std::string key = std::string(",\"") + n.key;
    json += key + "_ratio\":" + std::to_string(n.live.ratio) + key +
            "_cpu_percent\":" + std::to_string(n.live.cpu_percent) + key +
            "_window_cpu_percent\":" + std::to_string(n.live.window_cpu_percent) + key +
            "_quiet_cpu_percent\":" + std::to_string(n.live.quiet_cpu_percent);
  }
  json += "}";
  std::printf("%s\n", json.c_str());
  window.close();
  engine.Stop();
  server.Stop();
  return ok ? 0 : 1;
}

}  // namespace kline::bench

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return kline::bench::Run();
}
