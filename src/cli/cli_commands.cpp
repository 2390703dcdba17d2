// Each command's own handler: what it starts once the ECU answers, what it does with the
// engine's events, and how its end is judged.
#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <utility>

#include "cli/cli_run.h"
#include "engine/text.h"
#include "record/fault_report.h"
#include "service/actuator_tests.h"

namespace kline::cli {

namespace {

// What each verdict of a test makes of the run's exit status.
constexpr std::pair<ServiceVerdict, int> kVerdictStatus[] = {
    {ServiceVerdict::kDone, kExitDone},
    {ServiceVerdict::kFailed, kExitTestFailed},
    {ServiceVerdict::kUnknown, kExitTestUnknown},
    {ServiceVerdict::kNoAnswer, kExitNoAnswer},
    {ServiceVerdict::kPortLost, kExitPortNotOpened},
    {ServiceVerdict::kRefused, kExitUsage},
};

}  // namespace

void CliRun::StartCommand(const LiveSample& first) {
  switch (command_.verb) {
    case Verb::kInfo:
      End(kExitDone);
      return;
    case Verb::kLive:
      if (command_.duration_s) duration_.start(static_cast<int>(*command_.duration_s * 1000));
      StartLive(first);
      return;
    case Verb::kReport:
      duration_.start(static_cast<int>(command_.duration_s.value_or(0) * 1000));
      return;
    case Verb::kFaults:
      Engine().ReadFaults(AllFaultBytes());
      return;
    case Verb::kTest:
      Engine().RunTest(command_.test_index, command_.custom_code);
      return;
    case Verb::kCheckCable:
    case Verb::kMonitor:
    case Verb::kTrace:
      return;
  }
}

// info

void CliRun::PrintIdentification() {
  if (std::exchange(identification_printed_, true)) return;
  for (const QString& line : outputs_->kept_lines()) Print(line.trimmed().toStdString() + "\n");
}

QString CliRun::IdentificationGaps() const {
  const EcuIdentification& facts = outputs_->kept_facts();
  QStringList gaps;
  const EcuType type = command_.type.value_or(EcuType::k15m);
  // A 15Rc and a P8 send no code of their own; the others' code is the key-on bytes.
  if (!facts.iso_code && (type == EcuType::k15m || type == EcuType::k16m)) {
    gaps << QStringLiteral("no ISO code");
  }
  if (!facts.ecu_data) gaps << QStringLiteral("no ECU data");
  if (!facts.calibration) gaps << QStringLiteral("no calibration");
  if (facts.missing > 0) {
    gaps << (facts.missing == 1
                 ? QStringLiteral("1 byte or character missing")
                 : QStringLiteral("%1 bytes or characters missing").arg(facts.missing));
  }
  return gaps.join(QStringLiteral(", "));
}

// live

void CliRun::StartLive(const LiveSample& first) {
  const EcuType type = command_.type.value_or(EcuType::k15m);
  if (command_.csv_path.isEmpty()) {
    Print(LiveHeadLine(command_.channels));
  } else if (command_.csv_path == QStringLiteral("-")) {
    Print(CsvHead(outputs_->Header(type)));
  } else if (!outputs_->StartRecording(command_.csv_path, type, &first)) {
    Complain(outputs_->recorder().Error());
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
  }
  if (command_.count && samples_ >= *command_.count) End(kExitDone);
}

// faults

void CliRun::OnFaultRead(int index, const QString& answer) {
  if (status_ || index < 0 || index >= static_cast<int>(answers_.size())) return;
  answers_[static_cast<size_t>(index)] = answer;
  if (++answers_read_ < answers_.size()) return;
  Engine().LeaveFaultReading();
  const EcuType type = command_.type.value_or(EcuType::k15m);
  if (command_.json) {
    Print(FaultsJson(type, outputs_->kept_facts(), QDateTime::currentDateTime(), answers_)
              .toStdString());
  } else {
    FaultReport report(QDateTime::currentDateTime(), std::string(EcuTypeName(type)));
    for (const QString& line : outputs_->kept_lines()) {
      report.AddIdentification(line.trimmed().toStdString());
    }
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

// test (and the fault reads' lost cable)

void CliRun::OnVerdict(ServiceWindowId window, ServiceVerdict verdict) {
  if (window == ServiceWindowId::kFault) {
    port_lost_ = port_lost_ || verdict == ServiceVerdict::kPortLost;
    return;
  }
  if (status_ || verdict_) return;
  for (const auto& [said, status] : kVerdictStatus) {
    if (said == verdict) verdict_ = status;
  }
  Engine().LeaveDiagnosticMode();
}

// The run ends when the tests give the port back: after the verdict, or without one when the
// ECU did not enter diagnostic mode (the engine's message has said so).
void CliRun::OnPortOwner(PortOwner owner) {
  tests_hold_port_ = owner == PortOwner::kTestWindow;
  if (tests_hold_port_) test_began_ = true;
  if (owner == PortOwner::kSession && test_began_) End(verdict_.value_or(kExitNoAnswer));
}

// report

void CliRun::WriteReport() {
  // The engine's last batches (the bytes that left diagnostic mode and closed the port)
  // are still on their way.
  QCoreApplication::sendPostedEvents(outputs_.get(), QEvent::MetaCall);
  // The verdict, and how long the tool listened: a report of a failure must say both.
  outputs_->Note(QStringLiteral("The run ended with exit status %1, %2 s after it started.")
                     .arg(*status_)
                     .arg(static_cast<double>(since_start_.elapsed()) / 1000.0, 0, 'f', 1));
  // The settings the engine wrote for this run, as the window's report holds its own; the
  // command line would carry paths from this computer.
  SupportContext context;
  context.type = command_.type;
  context.program = QStringLiteral("kline-diag-cli " KLINE_VERSION);
  context.port_field = command_.port_field;
  QString error;
  if (!outputs_->SaveSupportReport(command_.file, context,
                                   settings_dir_.FilePath(QStringLiteral("kline-diag-cli.ini")),
                                   &error)) {
    Complain(QStringLiteral("Cannot write %1: %2").arg(command_.file, error));
    status_ = kExitOutputFailed;
    return;
  }
  Complain(QStringLiteral("Support report written to %1.").arg(command_.file));
}

// monitor: an output that fails after the run's end still makes the run's status 1 if it was 0.

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

// Judging the end: info and live say what they lack; what was read has been printed.
int CliRun::Judged(int status) {
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
  return status;
}

}  // namespace kline::cli
