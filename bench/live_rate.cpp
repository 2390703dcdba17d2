// Live-data polling rate of the real session against the simulator in real time, for each
// ECU type with all nine channels ticked, against the floor that the mandated pauses and
// the byte times on the wire set.
#include <cstdio>
#include <string>
#include <vector>

#include "bench_rig.h"

namespace kline::bench {
namespace {

constexpr int kCycles = 40;

}  // namespace

int Run() {
  std::printf("%-5s %8s %9s %9s %9s %9s %7s\n", "type", "cycles/s", "requests/s", "mean ms",
              "p95 ms", "floor ms", "ratio");
  std::string json = "{\"bench\":\"live_rate\",\"cycles\":" + std::to_string(kCycles) +
                     ",\"latency_us\":0,\"types\":[";
  bool first = true;
  for (EcuType type : kAllEcuTypes) {
    BenchRig rig(type, 0);
    if (!rig.ok() || !rig.ConnectAndReachPolling()) {
      std::fprintf(stderr, "%s: could not reach live data\n", EcuTypeName(type).data());
      return 1;
    }
    std::vector<double> cycles;
    const auto count_sent = [&] {
      int64_t n = 0;
      for (const TraceEntry& e : rig.server().Trace()) {
        n += e.dir == TraceEntry::Dir::kPcSent ? 1 : 0;
      }
      return n;
    };
    const int64_t sent_start = count_sent();
    const int64_t start_us = rig.clock().NowUs();
    int64_t last_us = start_us;
    for (int i = 0; i < kCycles; ++i) {
      rig.TimerTick();
      const int64_t now = rig.clock().NowUs();
      cycles.push_back((now - last_us) / 1000.0);
      last_us = now;
    }
    const int64_t requests = count_sent() - sent_start;
    const double seconds = (last_us - start_us) / 1e6;
    const Stats stats = Summarise(cycles);
    const int32_t baud = rig.port().device().ReadLineSettings()->baud;
    const double floor = FloorMs(baud);
    std::printf("%-5s %8.2f %9.1f %9.1f %9.1f %9.1f %7.3f\n", EcuTypeName(type).data(),
                kCycles / seconds, requests / seconds, stats.mean, stats.p95, floor,
                stats.mean / floor);
    char row[256];
    std::snprintf(row, sizeof row,
                  "%s{\"type\":\"%s\",\"baud\":%d,\"cycles_per_s\":%.3f,\"requests_per_s\":%.2f,"
                  "\"mean_ms\":%.2f,\"p95_ms\":%.2f,\"floor_ms\":%.2f,\"ratio\":%.4f}",
                  first ? "" : ",", EcuTypeName(type).data(), baud, kCycles / seconds,
                  requests / seconds, stats.mean, stats.p95, floor, stats.mean / floor);
    json += row;
    first = false;
  }
  std::printf("%s]}\n", json.c_str());
  return 0;
}

}  // namespace kline::bench

int main(int argc, char** argv) {
  return kline::bench::WithApplication(argc, argv, kline::bench::Run);
}
