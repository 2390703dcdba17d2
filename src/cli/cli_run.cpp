#include "cli/cli_run.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/connection_watch.h"
#include "engine/line_batcher.h"
#include "engine/mirrors.h"
#include "engine/service_desk.h"
#include "engine/text.h"
#include "link/kline_port.h"
#include "link/port_device.h"
#include "record/fault_report.h"
#include "record/line_log.h"
#include "service/actuator_tests.h"
#include "service/cable_check.h"
#include "service/service_host.h"

namespace kline::cli {

namespace {

// Identification takes two texts of up to 3 s each when the ECU stops answering halfway;
// the first live step follows at once.
constexpr int kFirstSampleLimitMs = 20000;
// Once polling, a session that goes back to waiting for a restarted ECU publishes no samples;
// a mechanic has this long to switch the ignition off and on before live gives up.
constexpr int kLiveGapLimitMs = 60000;

// The log lines that end a test, and what they mean for the exit status.
struct TestVerdict {
  std::string_view line;
  int status;
};
constexpr TestVerdict kTestVerdicts[] = {
    {"Test finish", kExitDone},         {"Test failed", kExitTestFailed},
    {"Test unknown", kExitTestUnknown}, {kNoAnswerLine, kExitNoAnswer},
    {kCustomCodeRangeLine, kExitUsage}, {kCustomCodeEnterLine, kExitUsage},
    {kCustomCodeLeaveLine, kExitUsage}, {kPortLostLine, kExitPortNotOpened},
};

}  // namespace

CliRun::CliRun(Command command, std::FILE* out, std::FILE* err, SerialDevice* device)
    : command_(std::move(command)), out_(out), err_(err), device_(device) {
  bound_.setSingleShot(true);
  duration_.setSingleShot(true);
  connect(&bound_, &QTimer::timeout, this, [this] {
    Complain(woken_ ? QStringLiteral("The ECU was woken but sent no live data within %1 s.")
                          .arg(kFirstSampleLimitMs / 1000)
                    : QStringLiteral("The ECU did not answer within %1 s: is the ignition on, "
                                     "and is it a %2?")
                          .arg(command_.wake_limit_ms / 1000.0)
                          .arg(Q(EcuTypeName(command_.type.value_or(EcuType::k15m)))));
    End(kExitNoAnswer);
  });
  connect(&duration_, &QTimer::timeout, this, [this] { End(kExitDone); });
  gap_.setSingleShot(true);
  connect(&gap_, &QTimer::timeout, this, [this] {
    Complain(QStringLiteral("No answer for %1 s: the ECU stopped answering and did not start "
                            "again.")
                 .arg(kLiveGapLimitMs / 1000));
    End(kExitIncomplete);
  });
}

CliRun::~CliRun() = default;

namespace {

// Why the file at `path` cannot be written, judged before anything talks to the ECU; empty
// when it can be tried. The write itself may still fail (a full disk), and says so then.
QString UnwritablePath(const QString& path) {
  const QFileInfo file(path);
  const QFileInfo folder(file.absolutePath());
  if (file.exists()) {
    if (file.isDir()) return QStringLiteral("it is a folder");
    return file.isWritable() ? QString() : QStringLiteral("permission denied");
  }
  if (!folder.isDir()) return QStringLiteral("the folder %1 does not exist").arg(folder.filePath());
  return folder.isWritable()
             ? QString()
             : QStringLiteral("no permission to write in %1").arg(folder.filePath());
}

}  // namespace

int CliRun::Exec() {
  if (command_.verb == Verb::kCheckCable) return CheckCableNow();
  // An output that cannot be written is refused before the port opens: a session's work is
  // not spent on a file that was never going to be saved.
  QString output;
  if (command_.verb == Verb::kReport) output = command_.file;
  if (command_.verb == Verb::kLive && command_.csv_path != QStringLiteral("-")) {
    output = command_.csv_path;
  }
  if (!output.isEmpty()) {
    if (const QString why = UnwritablePath(output); !why.isEmpty()) {
      Complain(QStringLiteral("Cannot write %1: %2.").arg(output, why));
      return kExitOutputFailed;
    }
  }
  since_start_.start();
  // The tool takes its port and type from the command line: it leaves the window
  // program's settings file as it found it.
  engine_ = std::make_unique<EngineThread>(
      EngineSetup{.device = device_,
                  .clock = nullptr,
                  .settings_path = settings_dir_.FilePath(QStringLiteral("kline-diag-cli.ini"))});
  ConnectSignals(engine_->engine());
  PanelChoices choices;
  choices.port_field = command_.port_field;
  choices.type = command_.type;
  choices.channels = command_.channels;
  Engine().Connect(choices);
  if (command_.verb == Verb::kMonitor) {
    if (command_.duration_s) duration_.start(static_cast<int>(*command_.duration_s * 1000));
  } else {
    bound_.start(command_.wake_limit_ms);
  }
  if (!status_) loop_.exec();
  engine_->Stop();
  // monitor: the last bytes (those that closed the port) are still on their way.
  if (command_.verb == Verb::kMonitor) QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
  recorder_.Stop();
  if (command_.verb == Verb::kReport) WriteReport();
  return *status_;
}

void CliRun::Interrupt() {
  if (status_ || !engine_) return;
  Complain(QStringLiteral("Interrupted."));
  // The ending may wait seconds for an answer still on its way before it sends FF: say why
  // the tool has not ended yet.
  if (test_window_holds_port_)
    Complain(QString::fromUtf8(kLeavingDiagnosticModeLine.data(),
                               static_cast<qsizetype>(kLeavingDiagnosticModeLine.size())));
  engine_->Stop();
  End(kExitInterrupted);
}

int CliRun::CheckCableNow() {
  SteadyClock clock;
  const std::unique_ptr<SerialDevice> device = NewPortDevice();
  KLinePort port(*device, clock);
  const CableCheckResult result = CheckCable(port, command_.port_field.toStdString());
  if (result.verdict == CableVerdict::kNotOpened || result.verdict == CableVerdict::kPortLost) {
    Complain(QString::fromStdString(result.sentence));
    return kExitPortNotOpened;
  }
  Print(result.sentence + "\n");
  return result.verdict == CableVerdict::kEchoOk ? kExitDone : kExitCableCheckFailed;
}

void CliRun::ConnectSignals(DiagnosticEngine& engine) {
  PanelMirror* panel = &engine.panel();
  connect(panel, &PanelMirror::PortMessage, this, &CliRun::OnPortMessage);
  connect(&engine.watch(), &ConnectionWatch::PortMessage, this, &CliRun::OnPortMessage);
  connect(&engine.desk(), &ServiceDesk::PortOwnerChanged, this,
          [this](PortOwner owner) { test_window_holds_port_ = owner == PortOwner::kTestWindow; });
  connect(panel, &PanelMirror::ConnectTickedChanged, this, [this](bool ticked) {
    if (ticked) {
      opened_ = true;
    } else if (opened_ && !status_) {
      Complain(QStringLiteral("The port was lost (cable or adapter unplugged?)."));
      End(kExitPortNotOpened);
    }
  });
  if (command_.verb == Verb::kReport) {
    connect(&engine.lines(), &LineBatcher::LineEntries, this,
            [this](const std::vector<LineEntry>& entries) { support_.AddLine(entries); });
  }
  if (command_.verb == Verb::kMonitor) {
    // The simulator's trace layout, so that both sides of the wire compare with one tool.
    Print(std::string(kTraceCsvHeader) + "\n");
    connect(&engine.lines(), &LineBatcher::LineEntries, this, &CliRun::PrintLines);
    return;
  }
  connect(panel, &PanelMirror::ServiceMenusEnabledChanged, this, [this](bool enabled) {
    if (enabled) OnWoken();
  });
  connect(panel, &PanelMirror::InfoAppended, this,
          [this](const QString& text) { identification_ << text.trimmed(); });
  // The disconnect at the end clears the identification; the run's outputs keep the last.
  connect(panel, &PanelMirror::IdentificationChanged, this, [this](const EcuIdentification& facts) {
    if (facts.iso_code || facts.ecu_data || facts.calibration) facts_ = facts;
  });
  connect(panel, &PanelMirror::SampleTaken, this, &CliRun::OnSample);
  connect(&engine.desk(), &ServiceDesk::Refused, this, [this](ServiceWindowId, const QString& why) {
    Complain(why);
    End(kExitNoAnswer);
  });
  connect(&engine.desk(), &ServiceDesk::ServiceWindowShown, this, [this](ServiceWindowId window) {
    if (window == ServiceWindowId::kTest) {
      Engine().RunTest(command_.test_index, command_.custom_code);
    } else if (!fault_window_shown_) {
      fault_window_shown_ = true;
      Engine().ReadAllFaults();
    }
  });
  connect(&engine.desk(), &ServiceDesk::FaultRead, this, &CliRun::OnFaultRead);
  connect(&engine.service(ServiceWindowId::kFault), &ServiceMirror::LogLine, this,
          [this](const QString& text) { port_lost_ = port_lost_ || text == Q(kPortLostLine); });
  ServiceMirror* tests = &engine.service(ServiceWindowId::kTest);
  connect(tests, &ServiceMirror::StatusMessage, this, &CliRun::OnPortMessage);
  connect(tests, &ServiceMirror::WindowClosed, this, &CliRun::OnTestWindowClosed);
  connect(tests, &ServiceMirror::LogLine, this, &CliRun::OnTestLog);
  // A test that ended with bytes that are no verdict ends the run as one without a verdict.
  connect(tests, &ServiceMirror::TestButtonsEnabledChanged, this, [this](bool enabled) {
    if (!enabled || verdict_ || status_) return;
    verdict_ = kExitTestUnknown;
    Engine().LeaveTestWindow();
  });
  connect(tests, &ServiceMirror::ProgressMaximumChanged, this,
          [this](float maximum) { progress_maximum_ = maximum; });
  connect(tests, &ServiceMirror::ProgressValueChanged, this, [this](float value) {
    if (value <= 0 || status_) return;
    Print("progress " + PointNumber(value) + "/" + PointNumber(progress_maximum_) + "\n");
  });
}

// A P8's connect step unticks all but throttle and battery, as the window's does: the
// channels asked for on the command line are ticked again once the ECU is woken (the P8's
// live step lets box ticks in before it polls; the connect step would untick them again).
// Ticks first, so that no moment has every box unticked (which would tick throttle).
void CliRun::AskForChannels() {
  if (!command_.channels_asked) return;
  for (bool tick : {true, false}) {
    for (int i = 0; i < kChannelCount; ++i) {
      if (command_.channels[static_cast<size_t>(i)] == tick) Engine().SetChannel(i, tick);
    }
  }
}

void CliRun::OnPortMessage(const QString& text) {
  support_.AddStatus(text);
  if (status_) return;
  // Right after Connect, a message means the port did not open and says why.
  if (!opened_) {
    if (text.isEmpty()) return;
    Complain(text);
    End(kExitPortNotOpened);
    return;
  }
  if (text.isEmpty() || text == last_message_) return;
  last_message_ = text;
  Complain(text);
}

void CliRun::OnWoken() {
  if (woken_ || status_) return;
  woken_ = true;
  AskForChannels();
  bound_.start(kFirstSampleLimitMs);
}

void CliRun::OnSample(const LiveSample& sample) {
  support_.AddSample(sample);
  if (status_) return;
  if (!ready_) {
    // An ECU that answered its identification and then not one live request lost an answer:
    // the next step asks again while the bound runs. One that answered nothing is silent.
    const bool identified = facts_.ecu_data || facts_.calibration;
    if (sample.answered == 0 && !(identified && command_.verb == Verb::kInfo)) {
      if (identified) return;
      Complain(QStringLiteral("The ECU did not answer the live data requests."));
      End(kExitNoAnswer);
      return;
    }
    ready_ = true;
    bound_.stop();
    StartCommand();
  }
  if (command_.verb == Verb::kLive && !status_) {
    if (sample.answered > 0) gap_.start(kLiveGapLimitMs);
    OnLiveSample(sample);
  }
}

void CliRun::StartCommand() {
  switch (command_.verb) {
    case Verb::kInfo:
      End(kExitDone);
      return;
    case Verb::kLive:
      if (command_.duration_s) duration_.start(static_cast<int>(*command_.duration_s * 1000));
      StartLive();
      return;
    case Verb::kReport:
      duration_.start(static_cast<int>(command_.duration_s.value_or(0) * 1000));
      return;
    case Verb::kFaults:
      Engine().OpenFaultWindow();
      return;
    case Verb::kTest:
      Engine().OpenTestWindow();
      return;
    case Verb::kCheckCable:
    case Verb::kMonitor:
    case Verb::kTrace:
      return;
  }
}

void CliRun::WriteReport() {
  // The engine's last batches (the bytes that left diagnostic mode and closed the port)
  // are still on their way.
  QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
  // The verdict, and how long the tool listened: a report of a failure must say both.
  support_.AddStatus(QStringLiteral("The run ended with exit status %1, %2 s after it started.")
                         .arg(*status_)
                         .arg(static_cast<double>(since_start_.elapsed()) / 1000.0, 0, 'f', 1));
  // The settings the engine wrote for this run, as the window's report holds its own; the
  // command line would carry paths from this computer.
  QFile settings(settings_dir_.FilePath(QStringLiteral("kline-diag-cli.ini")));
  const SupportContext context{.type = command_.type,
                               .program = QStringLiteral("kline-diag-cli " KLINE_VERSION),
                               .port_field = command_.port_field,
                               .identification = identification_,
                               .facts = facts_,
                               .settings = settings.open(QIODevice::ReadOnly)
                                               ? QString::fromUtf8(settings.readAll())
                                               : QStringLiteral("(no settings written)")};
  QString error;
  if (!support_.Save(command_.file, context, &error)) {
    Complain(QStringLiteral("Cannot write %1: %2").arg(command_.file, error));
    status_ = kExitOutputFailed;
    return;
  }
  Complain(QStringLiteral("Support report written to %1.").arg(command_.file));
}

void CliRun::StartLive() {
  if (command_.csv_path.isEmpty()) {
    Print(LiveHeadLine(command_.channels));
    return;
  }
  const RecordingHeader header{
      .ecu_type = std::string(EcuTypeName(command_.type.value_or(EcuType::k15m))),
      .iso_code = facts_.iso_code.value_or(""),
      .ecu_data = facts_.ecu_data.value_or(""),
      .calibration = facts_.calibration.value_or(""),
      .started = QDateTime::currentDateTime()};
  if (command_.csv_path == QStringLiteral("-")) {
    Print(CsvHead(header));
  } else if (!recorder_.Start(command_.csv_path, header)) {
    Complain(recorder_.Error());
    End(kExitOutputFailed);
  }
}

void CliRun::OnLiveSample(const LiveSample& sample) {
  if (!first_us_) first_us_ = sample.time_us;
  ++samples_;
  if (sample.answered < sample.asked) ++rows_lacking_;
  if (command_.csv_path.isEmpty()) {
    Print(LiveLine(sample, *first_us_, command_.channels));
  } else if (command_.csv_path == QStringLiteral("-")) {
    Print(CsvRow(sample, *first_us_));
  } else if (!recorder_.Append(sample)) {
    Complain(recorder_.Error());
    End(kExitOutputFailed);
    return;
  }
  if (command_.count && samples_ >= *command_.count) End(kExitDone);
}

void CliRun::OnFaultRead(int index, const QString& answer) {
  if (status_ || index < 0 || index >= static_cast<int>(answers_.size())) return;
  answers_[static_cast<size_t>(index)] = answer;
  if (++answers_read_ < answers_.size()) return;
  Engine().LeaveFaultWindow();
  const EcuType type = command_.type.value_or(EcuType::k15m);
  if (command_.json) {
    Print(FaultsJson(type, facts_, QDateTime::currentDateTime(), answers_).toStdString());
  } else {
    FaultReport report(QDateTime::currentDateTime(), std::string(EcuTypeName(type)));
    for (const QString& line : identification_) report.AddIdentification(line.toStdString());
    for (size_t i = 0; i < answers_.size(); ++i) {
      report.AddRead(kFaultButtons[i], answers_[i].toStdString());
    }
    Print(report.Text());
  }
  const bool all_answered = std::none_of(answers_.begin(), answers_.end(),
                                         [](const QString& answer) { return answer.isEmpty(); });
  if (!all_answered && port_lost_) Complain(Q(kPortLostLine) + QLatin1Char('.'));
  End(all_answered ? kExitDone : port_lost_ ? kExitPortNotOpened : kExitNoAnswer);
}

void CliRun::OnTestLog(const QString& text) {
  if (status_) return;
  Print(text.toStdString() + "\n");
  if (verdict_) return;
  for (const TestVerdict& verdict : kTestVerdicts) {
    if (text == Q(verdict.line)) verdict_ = verdict.status;
  }
  if (verdict_) Engine().LeaveTestWindow();
}

// Without a verdict the window closed because the ECU did not enter diagnostic mode; the
// engine's message has said so.
void CliRun::OnTestWindowClosed() { End(verdict_.value_or(kExitNoAnswer)); }

bool WriteOut(std::FILE* out, std::string_view text, QString* reason) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0) {
    return true;
  }
  *reason =
      errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("write error");
  return false;
}

// A full disk or a closed pipe ends the run like any other stop: the ECU is left properly.
void CliRun::Print(const std::string& text) {
  if (status_) return;
  QString reason;
  if (WriteOut(out_, text, &reason)) return;
  if (engine_) engine_->Stop();
  Complain(QStringLiteral("Cannot write the output: %1.").arg(reason));
  End(kExitOutputFailed);
}

// monitor: every byte, up to the port's closing after the run's end; an output that fails
// then still makes the run's status 1 if it was 0.
void CliRun::PrintLines(const std::vector<LineEntry>& entries) {
  if (status_ == kExitOutputFailed) return;
  std::string rows;
  for (const LineEntry& entry : entries) rows += LineCsvRow(entry) + "\n";
  if (!status_) {
    Print(rows);
    return;
  }
  QString reason;
  if (WriteOut(out_, rows, &reason)) return;
  Complain(QStringLiteral("Cannot write the output: %1.").arg(reason));
  if (status_ == kExitDone) status_ = kExitOutputFailed;
}

void CliRun::Complain(const QString& text) {
  support_.AddStatus(text);
  std::fprintf(err_, "kline-diag-cli: %s\n", qPrintable(text));
  std::fflush(err_);
}

void CliRun::PrintIdentification() {
  if (std::exchange(identification_printed_, true)) return;
  for (const QString& line : identification_) Print(line.toStdString() + "\n");
}

QString CliRun::IdentificationGaps() const {
  QStringList gaps;
  const EcuType type = command_.type.value_or(EcuType::k15m);
  // A 15Rc and a P8 send no code of their own; the others' code is the key-on bytes.
  if (!facts_.iso_code && (type == EcuType::k15m || type == EcuType::k16m)) {
    gaps << QStringLiteral("no ISO code");
  }
  if (!facts_.ecu_data) gaps << QStringLiteral("no ECU data");
  if (!facts_.calibration) gaps << QStringLiteral("no calibration");
  if (facts_.missing > 0) {
    gaps << (facts_.missing == 1
                 ? QStringLiteral("1 byte or character missing")
                 : QStringLiteral("%1 bytes or characters missing").arg(facts_.missing));
  }
  return gaps.join(QStringLiteral(", "));
}

// A run that would end as done but lacks part of what was asked for ends as incomplete,
// saying what is missing; what was read has been printed.
void CliRun::End(int status) {
  if (status_) return;
  if (command_.verb == Verb::kInfo) {
    PrintIdentification();
    if (const QString gaps = IdentificationGaps(); status == kExitDone && !gaps.isEmpty()) {
      Complain(QStringLiteral("The identification is incomplete: %1.").arg(gaps));
      status = kExitIncomplete;
    }
  }
  if (command_.verb == Verb::kLive && rows_lacking_ > 0 &&
      (status == kExitDone || status == kExitIncomplete)) {
    Complain(QStringLiteral("%1 of %2 rows lack values: the ECU left requests unanswered.")
                 .arg(rows_lacking_)
                 .arg(samples_));
    status = kExitIncomplete;
  }
  if (status_) return;
  status_ = status;
  bound_.stop();
  duration_.stop();
  gap_.stop();
  loop_.quit();
}

}  // namespace kline::cli
