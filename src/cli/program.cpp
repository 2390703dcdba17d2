#include "cli/program.h"

#include <csignal>
#include <memory>

#include "cli/cli_run.h"
#include "engine/stop_signals.h"
#include "link/trace_reader.h"

#ifdef KLINE_WITH_SIMULATOR
#include "sim/pty_ecu_server.h"
#endif

#ifdef KLINE_WITH_DEMO_LINE
#include "link/clock.h"
#include "sim/simulated_line.h"
#endif

namespace kline::cli {

namespace {

// Reading a file needs no port and no engine.
int PrintTrace(const Command& command, std::FILE* out, std::FILE* err) {
  std::string error;
  const std::optional<TraceFile> trace = LoadTrace(command.file.toStdString(), &error);
  if (!trace) {
    std::fprintf(err, "kline-diag-cli: %s\n", error.c_str());
    return kExitUsage;
  }
  QString reason;
  if (!WriteTrace(command.file, *trace, command.json,
                  [&](std::string_view piece) { return WriteOut(out, piece, &reason); })) {
    std::fprintf(err, "kline-diag-cli: Cannot write the output: %s.\n", qPrintable(reason));
    return kExitOutputFailed;
  }
  return kExitDone;
}

}  // namespace

int RunProgram(const QStringList& arguments, std::FILE* out, std::FILE* err) {
  // A closed output pipe ("| head -1") is a failed write, said and ended with status 1 by
  // every command, never a kill. Windows has no such signal: there the write fails anyway.
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
  const ParsedArguments parsed = ParseArguments(arguments);
  if (!parsed.command) {
    if (parsed.exit_status != kExitDone) {
      std::fputs(qPrintable(parsed.text), err);
      return parsed.exit_status;
    }
    QString reason;
    if (!WriteOut(out, parsed.text.toStdString(), &reason)) {
      std::fprintf(err, "kline-diag-cli: Cannot write the output: %s.\n", qPrintable(reason));
      return kExitOutputFailed;
    }
    return kExitDone;
  }
  Command command = *parsed.command;
  if (command.verb == Verb::kTrace) return PrintTrace(command, out, err);

  // From here on a signal ends the run as Ctrl-C does; one during the start is acted on once
  // the run waits for the ECU.
  StopSignals signals_watch;

#ifdef KLINE_WITH_SIMULATOR
  // Outlives the run, so the port is closed before its far side goes away.
  std::unique_ptr<sim::PtyEcuServer> simulator;
#endif
#ifdef KLINE_WITH_DEMO_LINE
  // The simulated ECU as the run's device, in real time; it outlives the run.
  SteadyClock demo_clock;
  std::unique_ptr<sim::SimulatedLine> demo_line;
#endif
  SerialDevice* device = nullptr;
  if (command.simulate) {
#ifdef KLINE_WITH_SIMULATOR
    std::string error;
    simulator = sim::StartDemoServer(*command.type, &error);
    if (!simulator) {
      std::fprintf(err, "kline-diag-cli: cannot start the simulator: %s\n", error.c_str());
      return kExitPortNotOpened;
    }
    command.port_field = QString::fromStdString(simulator->slave_path());
#elif defined(KLINE_WITH_DEMO_LINE)
    demo_line = sim::NewDemoLine(*command.type, demo_clock);
    device = demo_line.get();
    command.port_field = QString::fromLatin1(sim::kSimulatedPortName);
#else
    std::fputs("kline-diag-cli: --simulate needs pseudo-terminals, which this system lacks\n", err);
    return kExitUsage;
#endif
  }
  if (!command.replay_path.isEmpty()) {
#ifdef KLINE_WITH_SIMULATOR
    std::string error;
    const std::optional<TraceFile> trace = LoadTrace(command.replay_path.toStdString(), &error);
    if (!trace) {
      std::fprintf(err, "kline-diag-cli: %s\n", error.c_str());
      return kExitUsage;
    }
    if (command.type && trace->type && *command.type != *trace->type) {
      std::fprintf(err, "kline-diag-cli: --type %s does not match %s, which comes from a %s\n",
                   std::string(EcuTypeName(*command.type)).c_str(), qPrintable(command.replay_path),
                   std::string(EcuTypeName(*trace->type)).c_str());
      return kExitUsage;
    }
    if (!command.type) command.type = trace->type;
    if (!command.type) {
      std::fprintf(err, "kline-diag-cli: --type is needed: %s does not say which ECU it is\n",
                   qPrintable(command.replay_path));
      return kExitUsage;
    }
    // A file with nothing to replay is refused like any file that is no trace; only a
    // simulator that cannot start is a port that did not open.
    if (!sim::ReplayEcu::FromTrace(*trace, *command.type, {}, &error)) {
      std::fprintf(err, "kline-diag-cli: cannot replay %s: %s\n", qPrintable(command.replay_path),
                   error.c_str());
      return kExitUsage;
    }
    sim::ReplayEcu::Options replay;
    replay.report = [err](const std::string& text) {
      std::fprintf(err, "kline-diag-cli: replay: %s\n", text.c_str());
    };
    simulator = sim::StartReplayServer(*trace, *command.type, std::move(replay), &error);
    if (!simulator) {
      std::fprintf(err, "kline-diag-cli: cannot replay %s: %s\n", qPrintable(command.replay_path),
                   error.c_str());
      return kExitPortNotOpened;
    }
    command.port_field = QString::fromStdString(simulator->slave_path());
#else
    std::fputs("kline-diag-cli: --replay needs pseudo-terminals, which this system lacks\n", err);
    return kExitUsage;
#endif
  }

  CliRun run(command, out, err, device);
  QObject::connect(&signals_watch, &StopSignals::Received, &run, &CliRun::Interrupt);
  return run.Exec();
}

}  // namespace kline::cli
