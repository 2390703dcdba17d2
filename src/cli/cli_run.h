// One command of the command-line tool against the ECU: starts the engine on its own
// thread, connects, waits for the ECU to be woken and identified, runs the command through
// the same engine commands the windows send, and ends with an exit status taken from the
// engine's events (a state, a verdict), never from the words it printed. What is common to
// every command is in cli_run.cpp; each command's own handler is in cli_commands.cpp.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/cli_format.h"
#include "cli/cli_options.h"
#include "engine/engine_thread.h"
#include "engine/run_folder.h"
#include "engine/session_outputs.h"
#include "record/line_log.h"

namespace kline::cli {

// Writes all of `text` and flushes; false with the system's reason when the output takes it
// not (a full disk, a closed pipe).
bool WriteOut(std::FILE* out, std::string_view text, QString* reason);

class CliRun : public QObject {
  Q_OBJECT

 public:
  // `device`: the port to use instead of the one the command names (a simulated ECU).
  CliRun(Command command, std::FILE* out, std::FILE* err, SerialDevice* device = nullptr);
  ~CliRun() override;

  // Runs the command to its end and returns the exit status.
  int Exec();
  // What Ctrl-C and the other stop signals do: the engine's routine ends at its next pause,
  // the ECU leaves diagnostic mode when a test had put it there, the port closes and the run
  // ends with kExitInterrupted.
  void Interrupt();

 private:
  int CheckCableNow();
  void ConnectSignals(EngineEvents& events);
  DiagnosticEngine& Engine() { return engine_->engine(); }
  void AskForChannels();
  void OnConnection(ConnectionState state);
  void OnPortMessage(const QString& text);
  void OnWoken();
  void OnSample(const LiveSample& sample);
  void Print(const std::string& text);
  void Complain(const QString& text);
  void End(int status);

  // The commands' own handlers.
  // When the ECU is woken and answers: `first` is its first live sample.
  void StartCommand(const LiveSample& first);
  // info: the identification as far as it was read, whatever ends the run.
  void PrintIdentification();
  // What of the asked-for identification did not come, for the message; empty when whole.
  QString IdentificationGaps() const;
  void StartLive(const LiveSample& first);
  void OnLiveSample(const LiveSample& sample);
  void OnFaultRead(int index, const QString& answer);
  void OnVerdict(ServiceWindowId window, ServiceVerdict verdict);
  void OnPortOwner(PortOwner owner);
  // report: whatever the run's end, the report is written; it matters most when the ECU
  // did not answer.
  void WriteReport();
  // monitor: every byte, up to the port's closing after the run's end.
  void PrintLines(const std::vector<LineEntry>& entries);
  // A run that would end as done but lacks part of what was asked for ends as incomplete.
  int Judged(int status);

  Command command_;
  std::FILE* out_;
  std::FILE* err_;
  SerialDevice* device_;
  RunFolder settings_dir_{QCoreApplication::applicationName()};
  std::unique_ptr<EngineThread> engine_;
  std::unique_ptr<SessionOutputs> outputs_;
  QEventLoop loop_;
  QTimer bound_;  // the wait for the wake-up, then for the first sample
  QTimer duration_;
  // live: the longest the ECU may go without a sample (a restart that was not woken again).
  QTimer gap_;
  QElapsedTimer since_start_;
  std::optional<int> status_;

  bool woken_ = false;
  // The tests hold the port: the ECU may be in diagnostic mode.
  bool tests_hold_port_ = false;
  bool ready_ = false;
  QString last_message_;
  bool identification_printed_ = false;
  // live
  std::optional<int64_t> first_us_;
  int samples_ = 0;
  int rows_lacking_ = 0;  // rows where the ECU left a polled channel unanswered
  // faults
  FaultAnswers answers_;
  size_t answers_read_ = 0;
  bool port_lost_ = false;  // a fault read found the cable pulled
  // test
  bool test_began_ = false;
  std::optional<int> verdict_;
};

}  // namespace kline::cli
