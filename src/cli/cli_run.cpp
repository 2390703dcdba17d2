#include "cli/cli_run.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "engine/text.h"
#include "link/kline_port.h"
#include "link/port_device.h"
#include "service/actuator_tests.h"
#include "service/cable_check.h"

namespace kline::cli {

namespace {

// Identification takes two texts of up to 3 s each when the ECU stops answering halfway;
// the first live step follows at once.
constexpr int kFirstSampleLimitMs = 20000;
// Once polling, a session that goes back to waiting for a restarted ECU publishes no samples;
// a mechanic has this long to switch the ignition off and on before live gives up.
constexpr int kLiveGapLimitMs = 60000;

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
  // First, so that it has taken a sample before a handler ends the run on it.
  outputs_ = std::make_unique<SessionOutputs>(Engine().events());
  ConnectSignals(Engine().events());
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
  if (command_.verb == Verb::kReport) WriteReport();
  return *status_;
}

void CliRun::Interrupt() {
  if (status_ || !engine_) return;
  Complain(QStringLiteral("Interrupted."));
  // The ending may wait seconds for an answer still on its way before it sends FF: say why
  // the tool has not ended yet.
  if (tests_hold_port_) Complain(Q(kLeavingDiagnosticModeLine));
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

void CliRun::ConnectSignals(EngineEvents& events) {
  connect(&events, &EngineEvents::ConnectionChanged, this, &CliRun::OnConnection);
  connect(&events, &EngineEvents::Message, this, &CliRun::OnPortMessage);
  connect(&events, &EngineEvents::Diagnosed, this,
          [this](ConnectionFinding, const QString& sentence) { OnPortMessage(sentence); });
  connect(&events, &EngineEvents::PortOwnerChanged, this, &CliRun::OnPortOwner);
  if (command_.verb == Verb::kMonitor) {
    // The simulator's trace layout, so that both sides of the wire compare with one tool.
    Print(std::string(kTraceCsvHeader) + "\n");
    connect(&events, &EngineEvents::LineEntries, this, &CliRun::PrintLines);
    return;
  }
  connect(&events, &EngineEvents::SampleTaken, this, &CliRun::OnSample);
  connect(&events, &EngineEvents::Refused, this, [this](ServiceWindowId, const QString& why) {
    Complain(why);
    End(kExitNoAnswer);
  });
  connect(&events, &EngineEvents::FaultRead, this, &CliRun::OnFaultRead);
  connect(&events, &EngineEvents::Verdict, this, &CliRun::OnVerdict);
  connect(&events, &EngineEvents::ServiceLine, this,
          [this](ServiceWindowId window, const QString& text) {
            if (window == ServiceWindowId::kTest && !status_) Print(text.toStdString() + "\n");
          });
  connect(&events, &EngineEvents::TestProgress, this, [this](float value, float maximum) {
    if (value <= 0 || status_) return;
    Print("progress " + PointNumber(value) + "/" + PointNumber(maximum) + "\n");
  });
  connect(outputs_.get(), &SessionOutputs::RecordingEnded, this, [this](const QString& why) {
    if (status_) return;
    Complain(why);
    End(kExitOutputFailed);
  });
}

void CliRun::OnConnection(ConnectionState state) {
  if (status_) return;
  switch (state) {
    case ConnectionState::kRefused:
    case ConnectionState::kNotOpened:
      // The message that says why has come before.
      End(kExitPortNotOpened);
      return;
    case ConnectionState::kLost:
      Complain(QStringLiteral("The port was lost (cable or adapter unplugged?)."));
      End(kExitPortNotOpened);
      return;
    case ConnectionState::kWoken:
      OnWoken();
      return;
    case ConnectionState::kIdle:
    case ConnectionState::kOpen:
    case ConnectionState::kClosed:
      return;
  }
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
  if (status_ || text.isEmpty() || text == last_message_) return;
  last_message_ = text;
  Complain(text);
}

void CliRun::OnWoken() {
  if (woken_) return;
  woken_ = true;
  AskForChannels();
  bound_.start(kFirstSampleLimitMs);
}

void CliRun::OnSample(const LiveSample& sample) {
  if (status_) return;
  if (!ready_) {
    // An ECU that answered its identification and then not one live request lost an answer:
    // the next step asks again while the bound runs. One that answered nothing is silent.
    const EcuIdentification& facts = outputs_->kept_facts();
    const bool identified = facts.ecu_data || facts.calibration;
    if (sample.answered == 0 && !(identified && command_.verb == Verb::kInfo)) {
      if (identified) return;
      Complain(QStringLiteral("The ECU did not answer the live data requests."));
      End(kExitNoAnswer);
      return;
    }
    ready_ = true;
    bound_.stop();
    StartCommand(sample);
  }
  if (command_.verb == Verb::kLive && !status_) {
    if (sample.answered > 0) gap_.start(kLiveGapLimitMs);
    OnLiveSample(sample);
  }
}

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

void CliRun::Complain(const QString& text) {
  if (outputs_) outputs_->Note(text);
  std::fprintf(err_, "kline-diag-cli: %s\n", qPrintable(text));
  std::fflush(err_);
}

void CliRun::End(int status) {
  if (status_) return;
  status = Judged(status);
  if (status_) return;
  status_ = status;
  // Samples still on their way after the end are not the run's.
  if (outputs_) outputs_->StopRecording();
  bound_.stop();
  duration_.stop();
  gap_.stop();
  loop_.quit();
}

}  // namespace kline::cli
