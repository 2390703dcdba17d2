// What polling costs the machine: CPU time of the session's thread per second of live
// data (the simulator runs on a thread of its own and is counted apart), and peak memory.
#include <sys/resource.h>

#include <cstdio>

#include "bench_rig.h"

namespace kline::bench {
namespace {

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int Run() {
  constexpr double kSeconds = 10;
  std::printf("%-5s %14s %16s %12s\n", "type", "session CPU %", "with simulator %", "peak MiB");
  std::string json = "{\"bench\":\"cost\",\"seconds\":10,\"types\":[";
  for (EcuType type : kAllEcuTypes) {
    BenchRig rig(type, 2000);
    if (!rig.ok() || !rig.ConnectAndReachPolling()) return 1;
    const double thread_start = CpuSeconds(RUSAGE_THREAD);
    const double process_start = CpuSeconds(RUSAGE_SELF);
    const int64_t start = rig.clock().NowUs();
    while (rig.clock().NowUs() - start < kSeconds * 1e6) rig.TimerTick();
    const double wall = (rig.clock().NowUs() - start) / 1e6;
    const double session = 100 * (CpuSeconds(RUSAGE_THREAD) - thread_start) / wall;
    const double all = 100 * (CpuSeconds(RUSAGE_SELF) - process_start) / wall;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peak_mib = usage.ru_maxrss / 1024.0;
    std::printf("%-5s %14.2f %16.2f %12.1f\n", EcuTypeName(type).data(), session, all, peak_mib);
    char row[200];
    std::snprintf(row, sizeof row,
                  "%s{\"type\":\"%s\",\"session_cpu_pct\":%.3f,\"process_cpu_pct\":%.3f,"
                  "\"peak_mib\":%.1f}",
                  json.back() == '[' ? "" : ",", EcuTypeName(type).data(), session, all, peak_mib);
    json += row;
  }
  std::printf("%s]}\n", json.c_str());
  return 0;
}

}  // namespace kline::bench

int main(int argc, char** argv) {
  return kline::bench::WithApplication(argc, argv, kline::bench::Run);
}
