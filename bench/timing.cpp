// Timing fidelity in real time: every mandated pause against its nominal length, the
// wake-up bytes as the simulator saw them on the wire, and each reply bound against the
// moment the wait gave up.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench_rig.h"

namespace kline::bench {
namespace {

using Dir = TraceEntry::Dir;

struct Row {
  std::string what;
  double nominal_ms;
  std::vector<double> actual_ms;
};

void Print(const std::vector<Row>& rows, std::string& json) {
  std::printf("%-28s %8s %6s %12s %12s %10s\n", "pause", "nominal", "count", "median dev",
              "max dev", "shortest");
  for (const Row& row : rows) {
    std::vector<double> dev;
    double shortest = 1e9;
    for (double a : row.actual_ms) {
      dev.push_back(a - row.nominal_ms);
      shortest = std::min(shortest, a);
    }
    const Stats stats = Summarise(dev);
    std::printf("%-28s %8.0f %6zu %12.3f %12.3f %10.3f\n", row.what.c_str(), row.nominal_ms,
                row.actual_ms.size(), stats.median, stats.max, shortest);
    char item[256];
    std::snprintf(item, sizeof item,
                  "%s{\"what\":\"%s\",\"nominal_ms\":%.0f,\"count\":%zu,\"median_dev_ms\":%.3f,"
                  "\"max_dev_ms\":%.3f,\"shortest_ms\":%.3f}",
                  json.back() == '[' ? "" : ",", row.what.c_str(), row.nominal_ms,
                  row.actual_ms.size(), stats.median, stats.max, shortest);
    json += item;
  }
}

// The session's own sleeps during a 15m connection and some polling, and the wake-up as
// the simulator saw it.
std::vector<Row> Pauses() {
  BenchRig rig(EcuType::k15m, 0);
  std::vector<Row> rows;
  if (!rig.ok() || !rig.ConnectAndReachPolling()) return rows;
  for (int i = 0; i < 10; ++i) rig.TimerTick();

  std::map<int64_t, Row> by_length;
  for (const RecordingClock::Sleep& s : rig.clock().sleeps()) {
    // The waits' 1 and 3 ms polls are not pauses of their own.
    if (s.asked_us < 5000) continue;
    Row& row = by_length[s.asked_us];
    row.what = "sleep " + std::to_string(s.asked_us / 1000) + " ms";
    row.nominal_ms = s.asked_us / 1000.0;
    row.actual_ms.push_back(s.took_us / 1000.0);
  }
  for (auto& [length, row] : by_length) rows.push_back(row);

  std::vector<TraceEntry> sent;
  for (const TraceEntry& e : rig.server().Trace()) {
    if (e.dir == Dir::kPcSent) sent.push_back(e);
  }
  if (sent.size() > 3) {
    rows.push_back({"wire 0x0F -> 0xAA", 110, {(sent[1].time_us - sent[0].time_us) / 1000.0}});
    rows.push_back({"wire 0xAA -> 0xCC", 110, {(sent[2].time_us - sent[1].time_us) / 1000.0}});
    rows.push_back(
        {"wire 0xCC -> first request", 308, {(sent[3].time_us - sent[2].time_us) / 1000.0}});
  }
  return rows;
}

// Each reply bound with its poll pause, against a silent ECU: from the write to giving up.
std::vector<Row> TimeOuts() {
  struct Bound {
    int64_t limit_ms;
    PollPause pause;
    const char* name;
  };
  const Bound bounds[] = {{2000, PollPause::k3ms, "time-out 2000 (3 ms)"},
                          {2500, PollPause::k3msThen1ms, "time-out 2500 (3+1 ms)"},
                          {3000, PollPause::k3msThen1ms, "time-out 3000 (3+1 ms)"},
                          {3000, PollPause::k3ms, "time-out 3000 (3 ms)"},
                          {5000, PollPause::k1msAround3, "time-out 5000 (1+3 ms)"}};
  std::vector<Row> rows;
  BenchRig rig(EcuType::kP8, 0);
  if (!rig.ok() || !rig.ConnectAndReachPolling()) return rows;
  rig.server().InjectFault(sim::FaultKind::kSilent);
  for (const Bound& b : bounds) {
    Row row{b.name, static_cast<double>(b.limit_ms), {}};
    for (int i = 0; i < 2; ++i) {
      rig.port().Flush();
      rig.port().WriteByte(0x09);
      const int64_t start = rig.clock().NowUs();
      rig.port().WaitForCountTimed(2, b.limit_ms, b.pause);
      row.actual_ms.push_back((rig.clock().NowUs() - start) / 1000.0);
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

int Run() {
  std::string json = "{\"bench\":\"timing\",\"rows\":[";
  Print(Pauses(), json);
  std::printf("\n");
  Print(TimeOuts(), json);
  std::printf("%s]}\n", json.c_str());
  return 0;
}

}  // namespace kline::bench

int main(int argc, char** argv) {
  return kline::bench::WithApplication(argc, argv, kline::bench::Run);
}
