// What the line monitor's table costs the window's thread as the hours go by: an hour of
// live polling at 60 requests a second (each request its byte, the echo and the answer, in
// the engine's batches of 100 ms) is fed to the real window, shown offscreen, as fast as it
// takes them. Each batch is appended and painted as an update of its own (the window takes
// them at most twice a second, so this is more updates than it makes); the window
// thread's CPU time per update and the process's memory are noted in the first minute and in
// the sixtieth.
#include <sys/resource.h>

#include <QApplication>
#include <QFile>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bench_rig.h"
#include "ui/line_monitor_window.h"

namespace kline::bench {
namespace {

constexpr int kRequestsPerSecond = 60;
constexpr int kBatchMs = 100;
constexpr int kBatchesPerMinute = 60 * 1000 / kBatchMs;

double ThreadCpuUs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// The resident set now, not its peak: what the table holds after so many minutes.
double ResidentMiB() {
  QFile statm(QStringLiteral("/proc/self/statm"));
  if (!statm.open(QIODevice::ReadOnly)) return 0;
  const QList<QByteArray> fields = statm.readAll().split(' ');
  return fields.size() > 1 ? fields[1].toDouble() * static_cast<double>(getpagesize()) / 1048576
                           : 0;
}

// One batch of polling: each request sent, echoed and answered, 1/60 s apart.
std::vector<LineEntry> Batch(int64_t first_us) {
  constexpr int kRequests = kRequestsPerSecond * kBatchMs / 1000;
  constexpr int64_t kStepUs = 1'000'000 / kRequestsPerSecond;
  std::vector<LineEntry> batch;
  for (int r = 0; r < kRequests; ++r) {
    const int64_t at = first_us + r * kStepUs;
    const auto request = static_cast<uint8_t>(1 + r % 11);
    const std::string_view label = RequestLabel(Activity::kLiveData, request);
    batch.push_back({at, 7812, request, LineDir::kSent, label});
    batch.push_back({at + 1300, 7812, request, LineDir::kEcho, label});
    batch.push_back({at + 4600, 7812, static_cast<uint8_t>(r * 37), LineDir::kFromEcu, label});
  }
  return batch;
}

struct Minute {
  Stats cost_us;
  double resident_mib;
  int rows;
};

}  // namespace

int Run(int minutes_fed) {
  ui::LineMonitorWindow window;
  window.show();
  QApplication::processEvents();
  std::vector<Minute> minutes;
  for (int minute = 1; minute <= minutes_fed; ++minute) {
    std::vector<double> cost_us;
    for (int b = 0; b < kBatchesPerMinute; ++b) {
      const int64_t at_us = (int64_t{minute - 1} * kBatchesPerMinute + b) * kBatchMs * 1000;
      const std::vector<LineEntry> batch = Batch(at_us);
      const double start = ThreadCpuUs();
      window.AddEntries(batch);
      window.ShowHeld();              // each batch an update of its own, as if 100 ms had passed
      QApplication::processEvents();  // the table's layout and paint
      cost_us.push_back(ThreadCpuUs() - start);
    }
    minutes.push_back({Summarise(cost_us), ResidentMiB(), window.VisibleRows()});
  }
  std::printf("%-22s %12s %12s %12s %12s %10s\n", "after", "rows", "median us", "p95 us", "max us",
              "RSS MiB");
  std::string json = "{\"bench\":\"line_monitor\",\"requests_per_s\":60,\"minutes\":[";
  for (int minute : {1, 10, 30, 60}) {
    if (minute > minutes_fed) break;
    const Minute& m = minutes[static_cast<size_t>(minute - 1)];
    std::printf("%2d min %15s %12d %12.0f %12.0f %12.0f %10.1f\n", minute, "", m.rows,
                m.cost_us.median, m.cost_us.p95, m.cost_us.max, m.resident_mib);
    char row[200];
    std::snprintf(row, sizeof row,
                  "%s{\"minute\":%d,\"rows\":%d,\"median_us\":%.0f,\"p95_us\":%.0f,"
                  "\"max_us\":%.0f,\"rss_mib\":%.1f}",
                  minute == 1 ? "" : ",", minute, m.rows, m.cost_us.median, m.cost_us.p95,
                  m.cost_us.max, m.resident_mib);
    json += row;
  }
  std::printf("%s]}\n", json.c_str());
  return 0;
}

}  // namespace kline::bench

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // Minutes of traffic to feed; an hour by default.
  return kline::bench::Run(argc > 1 ? std::max(1, std::atoi(argv[1])) : 60);
}
