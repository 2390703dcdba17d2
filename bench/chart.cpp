// What one live step costs the window's thread with the chart on all nine channels: the
// sample taken, the chart brought up to date and painted (offscreen), after ten minutes of
// history, in each time window. The values wander as an idling engine's do, with a blip of
// the throttle now and then that moves several scales at once. The window thread's CPU time
// is counted, so other work on the machine does not blur it.
#include <QApplication>
#include <QCheckBox>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bench_rig.h"
#include "ui/chart_window.h"

namespace kline::bench {
namespace {

constexpr int64_t kStepUs = 188'000;  // one cycle of nine channels at the wire's pace
constexpr int kHistorySteps = 600'000'000 / kStepUs;
constexpr int kMeasuredSteps = 300;

double ThreadCpuUs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

LiveSample Step(int step) {
  const double t = step * static_cast<double>(kStepUs) / 1e6;
  // A blip of the throttle every 40 s, two seconds long.
  const double blip = std::fmod(t, 40) < 2 ? std::sin(std::fmod(t, 40) / 2 * M_PI) : 0;
  const double noise = std::sin(step * 12.9898) * 0.5;
  LiveSample sample;
  sample.time_us = int64_t{step} * kStepUs;
  sample.values = {1250 + 20 * noise + 5000 * blip,
                   2.1 + 0.05 * noise + 4 * blip,
                   12 + noise + 20 * blip,
                   420 + 10 * noise + 500 * blip,
                   25 + t / 600,
                   60 + 30 * t / 600,
                   0.4 + 60 * blip,
                   13.8 + 0.1 * noise,
                   std::round(3 * noise)};
  return sample;
}

}  // namespace

int Run(const std::vector<int>& windows) {
  ui::ChartWindow chart;
  chart.show();
  for (int i = 0; i < chart.CurveCount(); ++i) {
    chart.findChild<QCheckBox*>(QStringLiteral("Curve(%1)").arg(i))->setChecked(true);
  }
  int step = 0;
  for (; step < kHistorySteps; ++step) chart.AddSample(Step(step));
  QApplication::processEvents();
  std::printf("%-10s %12s %12s %12s\n", "window", "median us", "p95 us", "max us");
  std::string json = "{\"bench\":\"chart\",\"channels\":9,\"windows\":[";
  for (int seconds : windows) {
    chart.SetWindowSeconds(seconds);
    QApplication::processEvents();
    std::vector<double> cost_us;
    for (int i = 0; i < kMeasuredSteps; ++i, ++step) {
      const double start = ThreadCpuUs();
      chart.AddSample(Step(step));
      chart.Redraw();
      QApplication::processEvents();  // the paint
      cost_us.push_back(ThreadCpuUs() - start);
    }
    const Stats stats = Summarise(cost_us);
    std::printf("%-10d %12.0f %12.0f %12.0f\n", seconds, stats.median, stats.p95, stats.max);
    char row[160];
    std::snprintf(row, sizeof row,
                  "%s{\"seconds\":%d,\"median_us\":%.0f,\"p95_us\":%.0f,\"max_us\":%.0f}",
                  json.back() == '[' ? "" : ",", seconds, stats.median, stats.p95, stats.max);
    json += row;
  }
  std::printf("%s]}\n", json.c_str());
  return 0;
}

}  // namespace kline::bench

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The time windows to measure, in seconds; all three by default.
  std::vector<int> windows;
  for (int i = 1; i < argc; ++i) windows.push_back(std::atoi(argv[i]));
  if (windows.empty()) windows = {30, 120, 600};
  return kline::bench::Run(windows);
}
