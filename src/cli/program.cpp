#include "cli/program.h"

#include <csignal>

#include "cli/cli_run.h"
#include "engine/stop_signals.h"
#include "link/trace_reader.h"
#include "sim/ecu_target.h"

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

  // Outlives the run, so the port is closed before its far side goes away.
  sim::EcuTarget far_end;
  std::string error;
  if (command.simulate && !far_end.StartDemo(*command.type, &error)) {
    std::fprintf(err, "kline-diag-cli: cannot start the simulator: %s\n", error.c_str());
    return kExitPortNotOpened;
  }
  if (!command.replay_path.isEmpty()) {
    const std::optional<TraceFile> trace =
        sim::EcuTarget::LoadReplay(command.replay_path.toStdString(), &error);
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
    const bool replayable = sim::EcuTarget::CanReplay(*trace, *command.type, &error);
    const auto report = [err](const std::string& text) {
      std::fprintf(err, "kline-diag-cli: replay: %s\n", text.c_str());
    };
    if (!replayable || !far_end.StartReplay(*trace, *command.type, report, &error)) {
      std::fprintf(err, "kline-diag-cli: cannot replay %s: %s\n", qPrintable(command.replay_path),
                   error.c_str());
      return replayable ? kExitPortNotOpened : kExitUsage;
    }
  }
  if (command.simulate || !command.replay_path.isEmpty()) command.port_field = far_end.port_field();

  CliRun run(command, out, err, far_end.device());
  QObject::connect(&signals_watch, &StopSignals::Received, &run, &CliRun::Interrupt);
  return run.Exec();
}

}  // namespace kline::cli
