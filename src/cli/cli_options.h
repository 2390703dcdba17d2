// What one run of the command-line tool is asked to do: the port and ECU type, the command
// and its options, read from the arguments with a help text for the program and each command.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

#include "link/ecu_type.h"
#include "session/main_panel.h"

namespace kline::cli {

enum class Verb { kInfo, kLive, kFaults, kTest, kCheckCable, kMonitor, kTrace, kReport };

// Exit statuses a script can tell apart.
inline constexpr int kExitDone = 0;
inline constexpr int kExitOutputFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPortNotOpened = 3;
inline constexpr int kExitNoAnswer = 4;
inline constexpr int kExitInterrupted = 5;
// test: the ECU said the test failed ("EE"), or gave no verdict within the test's time.
inline constexpr int kExitTestFailed = 6;
inline constexpr int kExitTestUnknown = 7;
// info and live: some of what was asked for could not be read (a text with characters
// missing, an ECU that stopped answering during live data); what was read is printed.
inline constexpr int kExitIncomplete = 8;
// check-cable: the interface did not echo what was sent; no ECU is involved.
inline constexpr int kExitCableCheckFailed = 9;

struct Command {
  Verb verb = Verb::kInfo;
  QString port_field;
  std::optional<EcuType> type;
  // Serve a simulated ECU of `type` on a pseudo-terminal and use it as the port.
  bool simulate = false;
  // Serve a simulated ECU that replays this trace and use it as the port; the type, when
  // not given, comes from the file.
  QString replay_path;
  // How long a woken ECU may take to say who it is after the port opened.
  int wake_limit_ms = 10000;
  // live: the channels polled and printed; monitor and live: how long.
  std::array<bool, kChannelCount> channels = [] {
    std::array<bool, kChannelCount> all{};
    all.fill(true);
    return all;
  }();
  // --channels was given: exactly those are polled, whatever the type's connect step unticks.
  bool channels_asked = false;
  std::optional<int> count;
  std::optional<double> duration_s;
  QString csv_path;  // "-": standard output; empty: aligned text
  // trace: the trace read; report: the report written.
  QString file;
  bool json = false;
  // test: a row of kActuatorTests; the custom row takes `custom_code`.
  int test_index = -1;
  QString custom_code;
};

struct ParsedArguments {
  std::optional<Command> command;  // none: print `text` and exit with `exit_status`
  int exit_status = kExitDone;
  QString text;  // help or version (standard output), or the mistake (standard error)
};

// `arguments` includes the program name first.
ParsedArguments ParseArguments(const QStringList& arguments);

}  // namespace kline::cli
