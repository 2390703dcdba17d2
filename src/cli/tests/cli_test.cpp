// The tool end to end: the real engine and serial device against the simulated ECU on a
// pseudo-terminal, in real time, under a locale whose decimal separator is a comma.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <functional>
#include <set>
#include <string_view>

#include "cli/cli_run.h"
#include "cli/program.h"
#include "engine/stop_signals.h"
#include "link/tar_archive.h"
#include "service/actuator_tests.h"
#include "sim/pty_ecu_server.h"

namespace kline::cli {
namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  qint64 ms = 0;
};

std::string ReadBack(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

// Runs `command` as the program would, Ctrl-C included; standard output goes to `into` when
// given (and is then not read back).
Outcome RunCommand(const Command& command, std::FILE* into = nullptr) {
  std::FILE* out = into ? into : std::tmpfile();
  std::FILE* err = std::tmpfile();
  CliRun run(command, out, err);
  StopSignals watcher;
  QObject::connect(&watcher, &StopSignals::Received, &run, &CliRun::Interrupt);
  QElapsedTimer clock;
  clock.start();
  Outcome outcome;
  outcome.status = run.Exec();
  outcome.ms = clock.elapsed();
  if (!into) outcome.out = ReadBack(out);
  outcome.err = ReadBack(err);
  return outcome;
}

// How often the PC has sent `byte`.
std::ptrdiff_t PcSent(const sim::PtyEcuServer& server, uint8_t byte) {
  const std::vector<TraceEntry> trace = server.Trace();
  return std::count_if(trace.begin(), trace.end(), [byte](const TraceEntry& entry) {
    return entry.dir == TraceEntry::Dir::kPcSent && entry.byte == byte;
  });
}

uint8_t LastPcByte(const sim::PtyEcuServer& server) {
  uint8_t last = 0;
  for (const TraceEntry& entry : server.Trace()) {
    if (entry.dir == TraceEntry::Dir::kPcSent) last = entry.byte;
  }
  return last;
}

class CliEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
  void TearDown() override { QLocale::setDefault(QLocale::c()); }

  bool Serve(EcuType type) {
    server_ = std::make_unique<sim::PtyEcuServer>(sim::BuiltinProfile(type),
                                                  sim::PtyEcuServer::Options{});
    std::string error;
    return server_->Start(&error);
  }
  Command For(Verb verb, EcuType type = EcuType::k15m) {
    Command command;
    command.verb = verb;
    command.type = type;
    command.port_field = QString::fromStdString(server_->slave_path());
    return command;
  }

  std::unique_ptr<sim::PtyEcuServer> server_;
};

TEST_F(CliEndToEnd, CommandsEndWithTheirStatusAndOutput) {
  struct Case {
    const char* name;
    Verb verb;
    std::function<void(Command&, sim::PtyEcuServer&)> setup;
    int status;
    std::function<void(const Outcome&)> check;
    // The cable is pulled once the PC has sent this byte (first) this many times (second).
    std::pair<uint8_t, int> pull_cable_after = {0, 0};
  };
  const auto said = [](const char* text) {
    return [text](const Outcome& o) { EXPECT_NE(o.err.find(text), std::string::npos) << o.err; };
  };
  const Case cases[] = {
      {"info",
       Verb::kInfo,
       {},
       kExitDone,
       [](const Outcome& o) {
         for (const char* label : {"Iso Code    : 55", "ecu data    : ", "calibration : "}) {
           EXPECT_NE(o.out.find(label), std::string::npos) << label << "\n" << o.out;
         }
       }},
      {"live rows in the recorder's format, '.' as the decimal point", Verb::kLive,
       [](Command& c, sim::PtyEcuServer&) {
         c.count = 3;
         c.csv_path = QStringLiteral("-");
       },
       kExitDone,
       [](const Outcome& o) {
         const QStringList lines = QString::fromStdString(o.out).split('\n', Qt::SkipEmptyParts);
         const qsizetype header = lines.indexOf(QStringLiteral(
             "time_s,rpm,injection_ms,advance_deg,pressure_mbar,air_c,water_c,throttle_deg,"
             "battery_v,trimmer"));
         ASSERT_GE(header, 0) << o.out;
         ASSERT_EQ(lines.size() - header - 1, 3) << o.out;
         for (const QString& row : lines.mid(header + 1)) {
           EXPECT_EQ(row.split(',').size(), 10) << row.toStdString();
           EXPECT_TRUE(row.contains('.')) << row.toStdString();
         }
       }},
      {"silent ECU", Verb::kInfo,
       [](Command& c, sim::PtyEcuServer& server) {
         server.InjectFault(sim::FaultKind::kSilent);
         c.wake_limit_ms = 2000;
       },
       kExitNoAnswer,
       [](const Outcome& o) {
         EXPECT_LT(o.ms, 4000);
         EXPECT_NE(o.err.find("did not answer"), std::string::npos) << o.err;
       }},
      // The identification arrives garbled and the wake-up goes on; the step that failed is
      // named, not the ignition.
      {"adapter stuck at the wrong rate", Verb::kInfo,
       [](Command&, sim::PtyEcuServer& server) {
         server.InjectFault(sim::FaultKind::kWrongRate, 9600);
       },
       kExitNoAnswer,
       [](const Outcome& o) {
         EXPECT_NE(o.err.find("not what this ECU type sends"), std::string::npos) << o.err;
         EXPECT_NE(o.err.find("The wake-up failed"), std::string::npos) << o.err;
         EXPECT_EQ(o.err.find("Only the echo"), std::string::npos) << o.err;
       }},
      // The wake-up's three requests, then the ECU data's fourth character.
      {"a lost identification answer", Verb::kInfo,
       [](Command&, sim::PtyEcuServer& server) {
         server.InjectFault(sim::FaultKind::kDropAnswer, 7);
       },
       kExitIncomplete,
       [](const Outcome& o) {
         EXPECT_NE(o.out.find("(incomplete: 1 of 10 characters missing, shown as ?)"),
                   std::string::npos)
             << o.out;
         EXPECT_NE(o.out.find("calibration : "), std::string::npos) << o.out;
         EXPECT_NE(o.err.find("The identification is incomplete: 1 byte or character missing"),
                   std::string::npos)
             << o.err;
       }},
      // The first live request's answer lost: said as such, and the next step is used.
      {"a lost first live answer", Verb::kLive,
       [](Command& c, sim::PtyEcuServer& server) {
         c.count = 2;
         server.InjectFault(sim::FaultKind::kDropAnswer, 22);
       },
       kExitDone,
       [](const Outcome& o) {
         EXPECT_NE(o.err.find("answered its identification, but its live data requests bring "
                              "back only their echo"),
                   std::string::npos)
             << o.err;
         EXPECT_EQ(o.err.find("not even the echo"), std::string::npos) << o.err;
         EXPECT_EQ(o.out.find("incomplete"), std::string::npos) << o.out;
       }},
      {"a live row with an answer lost", Verb::kLive,
       [](Command& c, sim::PtyEcuServer& server) {
         c.count = 2;
         server.InjectFault(sim::FaultKind::kDropAnswer, 24);
       },
       kExitIncomplete,
       [](const Outcome& o) {
         EXPECT_NE(o.out.find("  incomplete\n"), std::string::npos) << o.out;
         EXPECT_NE(o.err.find("1 of 2 rows lack values"), std::string::npos) << o.err;
       }},
      {"port that does not exist", Verb::kLive,
       [](Command& c, sim::PtyEcuServer&) { c.port_field = QStringLiteral("/dev/ttyNOPE9"); },
       kExitPortNotOpened,
       [](const Outcome& o) {
         EXPECT_NE(o.err.find("/dev/ttyNOPE9"), std::string::npos) << o.err;
       }},
      {"a test the ECU reports as failed", Verb::kTest,
       [](Command& c, sim::PtyEcuServer&) { c.test_index = 2; },  // injector 2: EE after 4 s
       kExitTestFailed,
       [](const Outcome& o) { EXPECT_NE(o.out.find("Test failed"), std::string::npos) << o.out; }},
      {"check-cable",
       Verb::kCheckCable,
       {},
       kExitDone,
       [](const Outcome& o) {
         EXPECT_NE(o.out.find("echoes correctly"), std::string::npos) << o.out;
       }},
      // No ECU is involved: the cable's own status, not "the ECU did not answer".
      {"a cable that does not echo", Verb::kCheckCable,
       [](Command&, sim::PtyEcuServer& server) { server.InjectFault(sim::FaultKind::kNoEcho); },
       kExitCableCheckFailed, [](const Outcome&) {}},
      // A pulled cable is the same status whatever the command was doing.
      {"cable pulled during live data",
       Verb::kLive,
       [](Command& c, sim::PtyEcuServer&) { c.count = 1000; },
       kExitPortNotOpened,
       said("The port was lost"),
       {0x01, 3}},
      {"cable pulled while reading the fault memory",
       Verb::kFaults,
       {},
       kExitPortNotOpened,
       said("The connection to the ECU was lost"),
       {0x10, 1}},
      {"cable pulled during a test",
       Verb::kTest,
       [](Command& c, sim::PtyEcuServer&) { c.test_index = 0; },
       kExitPortNotOpened,
       [](const Outcome& o) {
         EXPECT_NE(o.out.find("The connection to the ECU was lost"), std::string::npos) << o.out;
       },
       {kActuatorTests[0].request_a, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Serve(EcuType::k15m));
    Command command = For(c.verb);
    if (c.setup) c.setup(command, *server_);
    QTimer pull;
    QObject::connect(&pull, &QTimer::timeout, [&] {
      if (PcSent(*server_, c.pull_cable_after.first) < c.pull_cable_after.second) return;
      pull.stop();
      server_->InjectFault(sim::FaultKind::kCablePulled);
    });
    if (c.pull_cable_after.second > 0) pull.start(20);
    const Outcome outcome = RunCommand(command);
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    c.check(outcome);
    server_->Stop();
  }
}

// monitor prints each byte as it crosses the wire, not once connecting is over: against a
// silent ECU, the first identification request shows while its answer is still awaited, and
// a run stopped then has printed every byte the simulator saw.
TEST_F(CliEndToEnd, MonitorPrintsBytesAsTheyCrossTheWire) {
  ASSERT_TRUE(Serve(EcuType::k15Rc));
  server_->InjectFault(sim::FaultKind::kSilent);
  Command command = For(Verb::kMonitor, EcuType::k15Rc);
  command.duration_s = 10;
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("monitor.csv"));
  std::FILE* out = std::fopen(qPrintable(path), "w");
  ASSERT_NE(out, nullptr);
  constexpr uint8_t kFirstText = 0x17;
  QElapsedTimer since_sent;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!since_sent.isValid() && PcSent(*server_, kFirstText) > 0) since_sent.start();
    QFile printed(path);
    if (!since_sent.isValid() || !printed.open(QIODevice::ReadOnly) ||
        !printed.readAll().contains(",pc,17,")) {
      return;
    }
    poll.stop();
    EXPECT_LT(since_sent.elapsed(), 1000);  // its answer is awaited for longer
    std::raise(SIGINT);
  });
  poll.start(20);
  const Outcome outcome = RunCommand(command, out);
  std::fclose(out);
  EXPECT_EQ(outcome.status, kExitInterrupted) << outcome.err;
  QFile printed(path);
  ASSERT_TRUE(printed.open(QIODevice::ReadOnly));
  const qsizetype rows = printed.readAll().count('\n');
  EXPECT_EQ(rows, static_cast<qsizetype>(server_->Trace().size()) + 1);
}

TEST_F(CliEndToEnd, FaultsJsonHoldsEveryByteAndBit) {
  ASSERT_TRUE(Serve(EcuType::k16m));
  Command command = For(Verb::kFaults, EcuType::k16m);
  command.json = true;
  const Outcome outcome = RunCommand(command);
  ASSERT_EQ(outcome.status, kExitDone) << outcome.err;
  QJsonParseError error;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray::fromStdString(outcome.out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << outcome.out;
  const QJsonObject top = document.object();
  const QJsonObject identification = top.value("identification").toObject();
  EXPECT_TRUE(identification.value("iso_code").toString().startsWith("55")) << outcome.out;
  EXPECT_FALSE(identification.value("ecu_data").toString().isEmpty()) << outcome.out;
  EXPECT_FALSE(identification.value("calibration").toString().isEmpty()) << outcome.out;
  EXPECT_TRUE(QDateTime::fromString(top.value("read_at").toString(), Qt::ISODate).isValid());
  EXPECT_TRUE(top.value("program").toString().startsWith("kline-diag-cli ")) << outcome.out;
  const QJsonArray faults = top.value("faults").toArray();
  ASSERT_EQ(faults.size(), static_cast<qsizetype>(kFaultButtons.size()));
  const sim::Profile profile = sim::BuiltinProfile(EcuType::k16m);
  for (size_t i = 0; i < kFaultButtons.size(); ++i) {
    const FaultButton& button = kFaultButtons[i];
    const QJsonObject entry = faults[static_cast<qsizetype>(i)].toObject();
    const int value = profile.answers.at(button.request);
    EXPECT_EQ(entry.value("value").toInt(-1), value) << button.caption;
    const QJsonArray bits = entry.value("bits").toArray();
    ASSERT_EQ(bits.size(), kFaultRows);
    for (int row = 0; row < kFaultRows; ++row) {
      const QJsonObject bit = bits[row].toObject();
      EXPECT_EQ(bit.value("bit").toInt(), 7 - row);
      EXPECT_EQ(bit.value("set").toBool(), ((value >> (7 - row)) & 1) != 0) << button.caption;
    }
  }
}

// A support report replays to the identification of the session it came from, and the trace
// command reads the trace inside it, in which the program's own conversation breaks nothing.
TEST_F(CliEndToEnd, ASupportReportReplaysAndReadsBack) {
  ASSERT_TRUE(Serve(EcuType::k16m));
  const Outcome live = RunCommand(For(Verb::kInfo, EcuType::k16m));
  ASSERT_EQ(live.status, kExitDone) << live.err;
  QTemporaryDir dir;
  Command report = For(Verb::kReport, EcuType::k16m);
  report.file = dir.filePath(QStringLiteral("report.tar"));
  report.duration_s = 1.5;
  const Outcome written = RunCommand(report);
  ASSERT_EQ(written.status, kExitDone) << written.err;
  server_->Stop();

  std::string error;
  const std::optional<TraceFile> trace = LoadTrace(report.file.toStdString(), &error);
  ASSERT_TRUE(trace) << error;
  EXPECT_EQ(trace->type, EcuType::k16m);
  server_ = sim::StartReplayServer(*trace, EcuType::k16m, {}, &error);
  ASSERT_TRUE(server_) << error;
  const Outcome replayed = RunCommand(For(Verb::kInfo, EcuType::k16m));
  EXPECT_EQ(replayed.status, kExitDone) << replayed.err;
  EXPECT_EQ(replayed.out, live.out);

  for (const bool json : {false, true}) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    QStringList arguments = {QStringLiteral("kline-diag-cli"), QStringLiteral("trace"),
                             report.file};
    if (json) arguments << QStringLiteral("--json");
    EXPECT_EQ(RunProgram(arguments, out, err), kExitDone) << ReadBack(err);
    const std::string text = ReadBack(out);
    if (!json) {
      EXPECT_NE(text.find("# 0 requests sooner than their pause, 0 answers later than their "
                          "bound, 0 bytes while nothing was asked"),
                std::string::npos)
          << text.substr(0, 400);
      continue;
    }
    const QJsonObject top = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
    EXPECT_EQ(top.value("ecu_type").toString(), QStringLiteral("16m"));
    EXPECT_EQ(top.value("rows").toArray().size(),
              static_cast<qsizetype>(trace->rows.size() + trace->notes.size()));
  }
}

// Whole command lines through the program, where the status does not depend on the ECU: one
// status per outcome, whichever command and wherever the output goes.
TEST(CliProgram, LinesEndWithOneStatusPerOutcome) {
  QTemporaryDir dir;
  const QString trace = dir.filePath(QStringLiteral("16m.csv"));
  const QString empty = dir.filePath(QStringLiteral("empty.csv"));
  {
    QFile file(trace);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(TraceCsvHead(EcuType::k16m)) +
               "0,note,,,,PC side opened the port\n1000,pc,17,1200,0,\n2000,echo,17,1200,0,\n");
    QFile head(empty);
    ASSERT_TRUE(head.open(QIODevice::WriteOnly));
    head.write(QByteArray::fromStdString(TraceCsvHead(EcuType::k16m)));
  }
  struct Line {
    QStringList arguments;
    const char* into;  // standard output: "" a file, "full" a full disk, "pipe" a closed pipe
    int status;
    const char* says;  // on standard output or error
  };
  const Line lines[] = {
      {{"--help"}, "full", kExitOutputFailed, "No space left on device"},
      {{"trace", trace}, "pipe", kExitOutputFailed, "Cannot write the output"},
      {{"--replay", empty, "info"}, "", kExitUsage, "nothing to replay"},
      {{"--replay", trace, "--type", "p8", "info"}, "", kExitUsage, "comes from a 16m"},
      {{"info", "--simulate=16M"}, "", kExitDone, "Iso Code"},
  };
  for (const Line& line : lines) {
    SCOPED_TRACE(line.arguments.join(u' ').toStdString());
    std::FILE* out = std::tmpfile();
    int pipe_ends[2] = {-1, -1};
    if (std::string_view(line.into) == "full") {
      out = std::fopen("/dev/full", "w");
    } else if (std::string_view(line.into) == "pipe") {
      ASSERT_EQ(::pipe(pipe_ends), 0);
      ::close(pipe_ends[0]);
      out = ::fdopen(pipe_ends[1], "w");
    }
    std::FILE* err = std::tmpfile();
    const int status =
        RunProgram(QStringList{QStringLiteral("kline-diag-cli")} + line.arguments, out, err);
    const std::string said = (*line.into ? std::string() : ReadBack(out)) + ReadBack(err);
    if (*line.into) std::fclose(out);
    EXPECT_EQ(status, line.status) << said;
    EXPECT_NE(said.find(line.says), std::string::npos) << said;
  }
}

// The report of a failed run helps: the verdict and how long the tool listened, the settings
// it wrote (no command line with this computer's paths), and an identification that says it
// was not read.
TEST_F(CliEndToEnd, AReportOfASilentEcuSaysWhatHappened) {
  ASSERT_TRUE(Serve(EcuType::k16m));
  server_->InjectFault(sim::FaultKind::kSilent);
  QTemporaryDir dir;
  Command report = For(Verb::kReport, EcuType::k16m);
  report.file = dir.filePath(QStringLiteral("report.tar"));
  report.wake_limit_ms = 1500;
  EXPECT_EQ(RunCommand(report).status, kExitNoAnswer);
  QFile file(report.file);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const std::string archive = file.readAll().toStdString();
  const auto member = [&](const char* name) {
    std::string error;
    return std::string(FindTarMember(archive, name, &error).value_or(error));
  };
  EXPECT_NE(member("status.txt").find("The run ended with exit status 4, 1."), std::string::npos)
      << member("status.txt");
  EXPECT_NE(member("settings.txt").find("Ecu=3"), std::string::npos) << member("settings.txt");
  EXPECT_EQ(member("settings.txt").find(dir.path().toStdString()), std::string::npos);
  EXPECT_EQ(member("identification.txt"), "Nothing of the identification was read.\n");
}

// The channels asked for are the channels polled, also for a P8, whose connect step unticks
// all but throttle and battery.
TEST_F(CliEndToEnd, AskedChannelsArePolledForEveryType) {
  for (EcuType type : {EcuType::kP8, EcuType::k16m}) {
    SCOPED_TRACE(EcuTypeName(type));
    ASSERT_TRUE(Serve(type));
    Command command = For(Verb::kLive, type);
    command.channels_asked = true;
    command.channels.fill(false);
    command.channels[0] = true;  // rpm
    command.channels[5] = true;  // water
    command.count = 3;
    command.csv_path = QStringLiteral("-");
    const Outcome outcome = RunCommand(command);
    EXPECT_EQ(outcome.status, kExitDone) << outcome.err;
    // What went out on the wire: the speed and water requests, not throttle or battery.
    std::set<uint8_t> asked;
    for (const TraceEntry& entry : server_->Trace()) {
      if (entry.dir == TraceEntry::Dir::kPcSent) asked.insert(entry.byte);
    }
    for (uint8_t request : {0x01, 0x02, 0x08}) EXPECT_TRUE(asked.contains(request)) << +request;
    for (uint8_t request : {0x09, 0x0A}) EXPECT_FALSE(asked.contains(request)) << +request;
    server_.reset();
  }
}

// Every command's output into a full disk: status 1 and the reason, never a silent 0.
TEST_F(CliEndToEnd, OutputThatCannotBeWrittenIsAFailure) {
  struct Case {
    const char* name;
    Verb verb;
    std::function<void(Command&)> setup;
  };
  const Case cases[] = {
      {"info", Verb::kInfo, {}},
      {"faults --json", Verb::kFaults, [](Command& c) { c.json = true; }},
      {"live --csv -", Verb::kLive,
       [](Command& c) {
         c.csv_path = QStringLiteral("-");
         c.count = 2;
       }},
      {"monitor", Verb::kMonitor, [](Command& c) { c.duration_s = 2; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Serve(EcuType::k15m));
    Command command = For(c.verb);
    if (c.setup) c.setup(command);
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    const Outcome outcome = RunCommand(command, full);
    std::fclose(full);
    EXPECT_EQ(outcome.status, kExitOutputFailed);
    EXPECT_NE(outcome.err.find("No space left on device"), std::string::npos) << outcome.err;
    server_.reset();
  }
}

// A file the tool could never write is refused before the port opens: no byte goes to the ECU
// and no session's work is lost.
TEST_F(CliEndToEnd, AnOutputPathThatCannotBeWrittenIsRefusedFirst) {
  const std::pair<Verb, std::function<void(Command&)>> cases[] = {
      {Verb::kReport, [](Command& c) { c.file = QStringLiteral("/nonexistent/x.tar"); }},
      {Verb::kLive, [](Command& c) { c.csv_path = QStringLiteral("/nonexistent/x.csv"); }},
      {Verb::kLive, [](Command& c) { c.csv_path = QStringLiteral("/"); }},
  };
  for (const auto& [verb, setup] : cases) {
    ASSERT_TRUE(Serve(EcuType::k15m));
    Command command = For(verb);
    setup(command);
    const Outcome outcome = RunCommand(command);
    EXPECT_EQ(outcome.status, kExitOutputFailed);
    EXPECT_NE(outcome.err.find("Cannot write"), std::string::npos) << outcome.err;
    EXPECT_EQ(LastPcByte(*server_), 0) << "nothing was sent";
    server_.reset();
  }
}

// Ctrl-C, Ctrl-\, SIGTERM, a closed terminal (SIGHUP), SIGUSR1 and a closed output pipe in
// the middle of an actuator test: the tool ends with its status, and the last byte the ECU
// got is the FF that takes it out of diagnostic mode.
TEST_F(CliEndToEnd, EveryStopInATestLeavesDiagnosticMode) {
  struct Case {
    const char* name;
    int signal;        // raised once the test request went out; 0: none
    const char* into;  // where standard output goes: "" a file, "pipe" a closed pipe
    int status;
  };
  const Case cases[] = {
      {"Ctrl-C", SIGINT, "", kExitInterrupted},   {"SIGTERM", SIGTERM, "", kExitInterrupted},
      {"SIGHUP", SIGHUP, "", kExitInterrupted},   {"Ctrl-\\", SIGQUIT, "", kExitInterrupted},
      {"SIGUSR1", SIGUSR1, "", kExitInterrupted}, {"closed pipe", 0, "pipe", kExitOutputFailed}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Serve(EcuType::k15m));
    Command command = For(Verb::kTest);
    command.test_index = 0;  // the fuel pump runs for half a minute
    QElapsedTimer since_request;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (LastPcByte(*server_) != kActuatorTests[0].request_a) return;
      poll.stop();
      since_request.start();
      if (c.signal != 0) std::raise(c.signal);
    });
    poll.start(20);
    std::FILE* out = nullptr;
    int pipe_ends[2] = {-1, -1};
    if (std::string_view(c.into) == "pipe") {
      ASSERT_EQ(::pipe(pipe_ends), 0);
      ::close(pipe_ends[0]);
      out = ::fdopen(pipe_ends[1], "w");
    } else if (*c.into != '\0') {
      out = std::fopen(c.into, "w");
    }
    const Outcome outcome = RunCommand(command, out);
    if (out) std::fclose(out);
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    if (c.signal != 0) {
      ASSERT_TRUE(since_request.isValid()) << outcome.out << outcome.err;
      EXPECT_LT(since_request.elapsed(), 1500);
    } else {
      EXPECT_NE(outcome.err.find("Cannot write the output"), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(LastPcByte(*server_), 0xFF);
    server_.reset();
  }
}

}  // namespace
}  // namespace kline::cli
