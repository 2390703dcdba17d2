// How long a stop takes, from the request to the port closed and the engine's thread joined,
// with the engine on its thread against the simulator on a pseudo-terminal in real time:
// during the wake-up (nothing to end but the port) and in diagnostic mode, idle or inside an
// actuator test's wait (where the ending takes the ECU out of it first: the answer still due,
// the line quiet for 8 ms, FF, its echo and answer), also with a slow ECU. Prints a table and
// a JSON line.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_rig.h"
#include "engine/engine_thread.h"
#include "sim/pty_ecu_server.h"

namespace kline::bench {
namespace {

constexpr int kRuns = 8;

bool SentSoFar(const sim::PtyEcuServer& server, uint8_t byte) {
  for (const TraceEntry& e : server.Trace()) {
    if (e.dir == TraceEntry::Dir::kPcSent && e.byte == byte) return true;
  }
  return false;
}

bool WaitFor(const std::function<bool()>& done, int bound_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > bound_ms) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

struct Scenario {
  const char* name;
  // Brings the engine to the moment of the stop; false when the simulator never got there.
  std::function<bool(DiagnosticEngine&, sim::PtyEcuServer&, int run)> reach;
};

double StopOnce(const Scenario& scenario, int run, bool* ok) {
  sim::PtyEcuServer server(sim::BuiltinProfile(EcuType::k15m), {});
  std::string error;
  QTemporaryDir dir;
  if (!server.Start(&error)) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    *ok = false;
    return 0;
  }
  EngineThread engine({.settings_path = dir.filePath(QStringLiteral("k.ini"))});
  PanelChoices choices;
  choices.port_field = QString::fromStdString(server.slave_path());
  choices.type = EcuType::k15m;
  choices.channels.fill(true);
  engine.engine().Connect(choices);
  if (!scenario.reach(engine.engine(), server, run)) {
    std::fprintf(stderr, "%s: not reached\n", scenario.name);
    *ok = false;
  }
  QElapsedTimer timer;
  timer.start();
  engine.Stop();
  const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
  server.Stop();
  return ms;
}

int Run() {
  const Scenario scenarios[] = {
      {"during the wake-up",
       [](DiagnosticEngine&, sim::PtyEcuServer& server, int run) {
         const bool sent = WaitFor([&] { return SentSoFar(server, 0x0F); }, 10000);
         std::this_thread::sleep_for(std::chrono::milliseconds(run * 35));
         return sent;
       }},
      {"diagnostic mode, idle",
       [](DiagnosticEngine& engine, sim::PtyEcuServer& server, int) {
         if (!WaitFor([&] { return SentSoFar(server, 0x01); }, 10000)) return false;
         engine.EnterTests();
         return WaitFor(
             [&] {
               return server.WithModel([](sim::LineModel& m) { return m.ecu().mode(); }) ==
                      sim::EcuMode::kDiagnostic;
             },
             5000);
       }},
      {"inside an actuator test's wait",
       [](DiagnosticEngine& engine, sim::PtyEcuServer& server, int run) {
         if (!WaitFor([&] { return SentSoFar(server, 0x01); }, 10000)) return false;
         engine.EnterTests();
         engine.RunTest(0, QString());
         const bool sent = WaitFor([&] { return SentSoFar(server, 0x80); }, 5000);
         std::this_thread::sleep_for(std::chrono::milliseconds(300 + run * 130));
         return sent;
       }},
      {"a slow ECU's test, 300 ms into a 1.5 s answer",
       [](DiagnosticEngine& engine, sim::PtyEcuServer& server, int) {
         if (!WaitFor([&] { return SentSoFar(server, 0x01); }, 10000)) return false;
         engine.EnterTests();
         if (!WaitFor(
                 [&] {
                   return server.WithModel([](sim::LineModel& m) { return m.ecu().mode(); }) ==
                          sim::EcuMode::kDiagnostic;
                 },
                 5000)) {
           return false;
         }
         // Every answer from now on, FF's included, comes 1.5 s late.
         server.InjectFault(sim::FaultKind::kLateAnswer, 1500);
         engine.RunTest(0, QString());
         const bool sent = WaitFor([&] { return SentSoFar(server, 0x80); }, 5000);
         std::this_thread::sleep_for(std::chrono::milliseconds(300));
         return sent;
       }},
  };
  bool ok = true;
  std::printf("| state | median stop | longest stop |\n|---|---|---|\n");
  std::string json = "{\"bench\":\"stop_latency\",\"states\":[";
  for (const Scenario& scenario : scenarios) {
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) times.push_back(StopOnce(scenario, run, &ok));
    const Stats stats = Summarise(times);
    std::printf("| %s | %.1f ms | %.1f ms |\n", scenario.name, stats.median, stats.max);
    json += std::string(json.back() == '[' ? "" : ",") + "{\"state\":\"" + scenario.name +
            "\",\"median_ms\":" + std::to_string(stats.median) +
            ",\"max_ms\":" + std::to_string(stats.max) + "}";
  }
  std::printf("%s]}\n", json.c_str());
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace kline::bench

int main(int argc, char** argv) {
  return kline::bench::WithApplication(argc, argv, kline::bench::Run);
}
