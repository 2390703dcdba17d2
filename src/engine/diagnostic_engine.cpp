#include "engine/diagnostic_engine.h"

#include <QCoreApplication>
#include <algorithm>

#include "engine/mirrors.h"
#include "engine/stoppable_clock.h"
#include "link/ini_file.h"
#include "link/kline_port.h"
#include "link/qt_serial_device.h"
#include "service/actuator_tests.h"
#include "service/cable_check.h"
#include "service/connection_diagnosis.h"
#include "service/fault_memory.h"
#include "session/session_driver.h"

namespace kline {

namespace {

constexpr int kTestsMenuPauseMs = 100;
// The line monitor gets the wire's bytes this often: enough to watch, cheap to draw.
constexpr int kLineBatchMs = 100;
constexpr char kGarbledTexts[] =
    "The ECU's texts are not readable: its answers arrive garbled. Check the K-line wire and "
    "the interface, then the ECU type.";
// How long an ECU may take to say who it is before the status bar says what the wire shows.
constexpr int64_t kWakeUpPatienceUs = 3'000'000;
constexpr char kNotConnected[] = "Connect to the ECU first: it has not been woken yet.";
constexpr char kTestWindowHasPort[] =
    "The test window holds the port: leave it (\"Back\") to read the fault memory.";
constexpr char kFaultWindowHasPort[] =
    "The fault window holds the port: leave it (\"Back\") to run the tests.";

}  // namespace

DiagnosticEngine::DiagnosticEngine(EngineSetup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)), timer_(this), line_timer_(this) {
  qRegisterMetaType<PortOwner>();
  qRegisterMetaType<ServiceWindowId>();
  qRegisterMetaType<LiveSample>();
  qRegisterMetaType<EcuType>();
  qRegisterMetaType<PanelChoices>();
  qRegisterMetaType<std::vector<LineEntry>>();
  choices_.channels.fill(true);
  timer_.setObjectName(QStringLiteral("Timer1"));
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &DiagnosticEngine::TimerTick);
  line_timer_.setInterval(kLineBatchMs);
  connect(&line_timer_, &QTimer::timeout, this, &DiagnosticEngine::FlushLineEntries);
}

DiagnosticEngine::~DiagnosticEngine() = default;

void DiagnosticEngine::Start() {
  Clock* base = setup_.clock;
  if (!base) {
    own_clock_ = std::make_unique<SteadyClock>();
    base = own_clock_.get();
  }
  clock_ = std::make_unique<StoppableClock>(*base, stop_);
  SerialDevice* device = setup_.device;
  if (!device) {
    own_device_ = std::make_unique<QtSerialDevice>();
    device = own_device_.get();
  }
  settings_ = std::make_unique<IniFile>(setup_.settings_path);
  port_ = std::make_unique<KLinePort>(*device, *clock_);
  port_->SetStopFlag(&stop_);
  port_->SetTap(&line_log_);
  // A received byte is stamped when the port first sees it waiting: looking at the count
  // during long pauses (the wake-up's) keeps the line monitor's times true to the wire.
  clock_->SetBetweenSlices([this] { port_->PendingCount(); });
  line_timer_.start();
  panel_ = std::make_unique<PanelMirror>(*this);
  test_mirror_ = std::make_unique<ServiceMirror>(*this, ServiceWindowId::kTest);
  fault_mirror_ = std::make_unique<ServiceMirror>(*this, ServiceWindowId::kFault);
  driver_ = std::make_unique<SessionDriver>(*port_, *panel_, *settings_);
  driver_->OnStage([this](SessionStage stage) { OnStage(stage); });
  faults_ = std::make_unique<FaultMemory>(*port_, *fault_mirror_, *fault_mirror_);
}

void DiagnosticEngine::Handle(const std::function<void()>& command) {
  if (finished_) return;
  ++depth_;
  command();
  --depth_;
  if (depth_ > 0) return;
  while (!held_back_.empty() && !stopping_) {
    std::function<void()> routine = std::move(held_back_.front());
    held_back_.pop_front();
    RunWire(std::move(routine));
  }
  if (stopping_) Finish();
}

void DiagnosticEngine::RunWire(std::function<void()> routine) {
  if (wire_busy_) {
    held_back_.push_back(std::move(routine));
    return;
  }
  wire_busy_ = true;
  ++depth_;
  routine();
  --depth_;
  wire_busy_ = false;
}

void DiagnosticEngine::Connect(const PanelChoices& choices) {
  Handle([&] {
    choices_ = choices;
    RunWire([this] {
      connected_at_us_ = clock_->NowUs();
      answered_ = false;
      diagnosis_.clear();
      SetActivity(Activity::kWakeUp);
      driver_->OnConnectBox(true);
    });
  });
}

void DiagnosticEngine::Disconnect() {
  Handle([&] {
    diagnosis_.clear();
    driver_->OnConnectBox(false);
  });
}

void DiagnosticEngine::SetPortField(const QString& text) {
  Handle([&] { choices_.port_field = text; });
}

void DiagnosticEngine::SetType(std::optional<EcuType> type) {
  Handle([&] { choices_.type = type; });
}

void DiagnosticEngine::SetChannelState(int channel, bool ticked) {
  choices_.channels.at(static_cast<size_t>(channel)) = ticked;
}

void DiagnosticEngine::SetChannel(int channel, bool ticked) {
  if (channel < 0 || channel >= kChannelCount) return;
  Handle([&] {
    SetChannelState(channel, ticked);
    driver_->OnChannelBox(channel);
  });
}

void DiagnosticEngine::SetEcuData(bool ticked) {
  Handle([&] {
    choices_.ecu_data = ticked;
    driver_->OnEcuDataBox(ticked);
  });
}

void DiagnosticEngine::SetCalibration(bool ticked) {
  Handle([&] {
    choices_.calibration = ticked;
    driver_->OnCalibrationBox(ticked);
  });
}

void DiagnosticEngine::ReadEcuInfo() {
  Handle([&] {
    RunWire([this] {
      if (owner_ != PortOwner::kSession) return;
      SetActivity(Activity::kIdentification);
      driver_->ReadEcuInfo();
    });
  });
}

void DiagnosticEngine::ReadCalibration() {
  Handle([&] {
    RunWire([this] {
      if (owner_ != PortOwner::kSession) return;
      SetActivity(Activity::kIdentification);
      driver_->ReadCalibration();
    });
  });
}

void DiagnosticEngine::SetOwner(PortOwner owner) {
  owner_ = owner;
  emit PortOwnerChanged(owner);
}

// The service menus are open only while the session holds the port of a woken ECU.
bool DiagnosticEngine::CanTakePort(ServiceWindowId window) {
  if (owner_ == PortOwner::kSession && driver_->init() && port_->IsOpen()) return true;
  const char* reason = kNotConnected;
  if (owner_ == PortOwner::kTestWindow) reason = kTestWindowHasPort;
  if (owner_ == PortOwner::kFaultWindow) reason = kFaultWindowHasPort;
  emit Refused(window, QString::fromLatin1(reason));
  return false;
}

void DiagnosticEngine::OpenTestWindow() {
  Handle([&] {
    RunWire([this] {
      if (!CanTakePort(ServiceWindowId::kTest)) return;
      SetOwner(PortOwner::kTestWindow);
      driver_->LendPort();
      SetActivity(ActuatorTestsActivity(choices_.type.value_or(EcuType::k15m)));
      clock_->SleepMs(kTestsMenuPauseMs);
      emit ServiceWindowShown(ServiceWindowId::kTest);
      tests_ = std::make_unique<ActuatorTests>(*port_, *test_mirror_, *test_mirror_, *test_mirror_,
                                               *test_mirror_);
      tests_->EnterDiagnosticMode();
    });
  });
}

void DiagnosticEngine::LeaveTestWindow() {
  Handle([&] {
    if (owner_ != PortOwner::kTestWindow || !tests_) return;
    // A running test only notes the wish here and stops at its next pass.
    if (tests_->TestRunning()) {
      tests_->Back();
      return;
    }
    RunWire([this] {
      if (owner_ == PortOwner::kTestWindow) tests_->Back();
    });
  });
}

void DiagnosticEngine::RunTest(int index, const QString& custom_code) {
  if (index < 0 || index >= static_cast<int>(kActuatorTests.size())) return;
  Handle([&] {
    if (owner_ != PortOwner::kTestWindow || !tests_) return;
    RunWire([this, index, code = custom_code.toStdString()] {
      if (owner_ == PortOwner::kTestWindow) tests_->Press(index, code);
    });
  });
}

void DiagnosticEngine::TakePortForFaults() {
  SetOwner(PortOwner::kFaultWindow);
  driver_->LendPort();
  SetActivity(Activity::kFaultMemory);
  emit ServiceWindowShown(ServiceWindowId::kFault);
}

void DiagnosticEngine::OpenFaultWindow() {
  Handle([&] {
    RunWire([this] {
      if (CanTakePort(ServiceWindowId::kFault)) TakePortForFaults();
    });
  });
}

void DiagnosticEngine::LeaveFaultWindow() {
  Handle([&] {
    if (owner_ == PortOwner::kFaultWindow) faults_->Back();
  });
}

void DiagnosticEngine::ReadFault(int index) {
  if (index < 0 || index >= static_cast<int>(kFaultButtons.size())) return;
  Handle([&] {
    RunWire([this, index] {
      // After "Back" the fault window stays open: a button there takes the port again, as
      // the "Diag" menu would, rather than talking between the session's ticks.
      if (owner_ != PortOwner::kFaultWindow) {
        if (!CanTakePort(ServiceWindowId::kFault)) return;
        TakePortForFaults();
      }
      const FaultButton& button = kFaultButtons[static_cast<size_t>(index)];
      emit FaultRead(index, QString::fromStdString(faults_->Press(button)));
    });
  });
}

void DiagnosticEngine::ReadAllFaults() {
  for (int index = 0; index < static_cast<int>(kFaultButtons.size()); ++index) ReadFault(index);
}

void DiagnosticEngine::ReturnPortToSession(int interval) {
  SetOwner(PortOwner::kSession);
  driver_->ReturnPort(interval);
}

void DiagnosticEngine::TimerOn(int interval) {
  if (interval < 1 || stopping_) {
    timer_enabled_ = false;
    timer_.stop();
    return;
  }
  timer_enabled_ = true;
  timer_interval_ = interval;
  timer_.start(interval);
}

// Single shot, armed again only once the tick is over: the next tick comes one interval
// after this one ended, however long the exchanges took.
void DiagnosticEngine::TimerTick() {
  Handle([&] {
    if (!wire_busy_) {
      RunWire([this] {
        driver_->Tick();
        const bool waiting = port_->IsOpen() && !driver_->init();
        if (waiting && clock_->NowUs() - connected_at_us_ >= kWakeUpPatienceUs) {
          Diagnose(FailedStep::kWakeUp);
        }
      });
    }
    if (timer_enabled_) timer_.start(timer_interval_);
  });
}

void DiagnosticEngine::OnStage(SessionStage stage) {
  switch (stage) {
    case SessionStage::kWakeUp:
      SetActivity(Activity::kWakeUp);
      return;
    case SessionStage::kIdentification:
      SetActivity(Activity::kIdentification);
      return;
    case SessionStage::kLiveData:
      SetActivity(Activity::kLiveData);
      return;
  }
}

// Only a change of activity restarts what the log observes, so a wake-up that fails tick
// after tick is judged on everything the wire showed since "Connect".
void DiagnosticEngine::SetActivity(Activity activity) {
  if (line_log_.activity() != activity) line_log_.SetActivity(activity);
}

void DiagnosticEngine::Diagnose(FailedStep step) {
  WireObservation seen = line_log_.observation();
  seen.port_open = port_->IsOpen() && !port_->WasLost();
  const QString sentence = QString::fromStdString(DiagnoseConnection(seen, step).sentence);
  if (sentence == diagnosis_) return;
  diagnosis_ = sentence;
  emit PortMessage(diagnosis_);
}

void DiagnosticEngine::OnSample(const LiveSample& sample) {
  // A step that ran to its end without a single value read failed as well: what came back
  // were not the answers.
  const bool read = sample.complete &&
                    std::ranges::any_of(sample.values, [](const auto& v) { return v.has_value(); });
  if (read) {
    answered_ = true;
    diagnosis_.clear();
  } else if (!answered_) {
    Diagnose(FailedStep::kLiveData);
  }
}

void DiagnosticEngine::CheckIdentification(const QString& line) {
  static const QString kTexts[] = {QStringLiteral("ecu data    : "),
                                   QStringLiteral("calibration : ")};
  for (const QString& label : kTexts) {
    if (!line.startsWith(label)) continue;
    const QString text = line.mid(label.size()).trimmed();
    const bool readable = std::all_of(text.begin(), text.end(), [](QChar c) {
      return c.unicode() >= 0x20 && c.unicode() < 0x7F;
    });
    if (readable) return;
    diagnosis_ = QString::fromLatin1(kGarbledTexts);
    emit PortMessage(diagnosis_);
  }
}

void DiagnosticEngine::FlushLineEntries() {
  std::vector<LineEntry> entries = line_log_.TakeNew();
  if (!entries.empty()) emit LineEntries(entries);
}

void DiagnosticEngine::CheckCable(const QString& field) {
  Handle([&] {
    RunWire([this, field] {
      SetActivity(Activity::kInterfaceCheck);
      const CableCheckResult result = kline::CheckCable(*port_, field.toStdString());
      const QString sentence = QString::fromStdString(result.sentence);
      emit CableChecked(field, result.verdict == CableVerdict::kEchoOk, sentence);
      emit PortMessage(sentence);
    });
  });
}

void DiagnosticEngine::FindInterface(const QStringList& fields) {
  Handle([&] {
    RunWire([this, fields] {
      SetActivity(Activity::kInterfaceCheck);
      QString found;
      for (const QString& field : fields) {
        const CableCheckResult result = kline::CheckCable(*port_, field.toStdString());
        emit CableChecked(field, result.verdict == CableVerdict::kEchoOk,
                          QString::fromStdString(result.sentence));
        if (result.verdict == CableVerdict::kEchoOk) {
          found = field;
          break;
        }
      }
      const QString tried = fields.join(QStringLiteral(", "));
      QString summary;
      if (fields.isEmpty()) {
        summary = QStringLiteral("The system lists no serial ports to try.");
      } else if (found.isEmpty()) {
        summary = QStringLiteral("No port echoed correctly (tried %1).").arg(tried);
      } else {
        summary = QStringLiteral("The interface is on %1 (tried %2).").arg(found, tried);
      }
      emit InterfaceFound(found, summary);
      emit PortMessage(summary);
    });
  });
}

void DiagnosticEngine::ApplyPendingCommands() { QCoreApplication::processEvents(); }

void DiagnosticEngine::Shutdown() {
  Handle([&] {
    stop_.store(true);
    stopping_ = true;
    timer_enabled_ = false;
    timer_.stop();
    // A running test stops at its next pass and then leaves diagnostic mode itself.
    if (tests_ && tests_->TestRunning()) tests_->Back();
  });
}

void DiagnosticEngine::Finish() {
  if (finished_) return;
  finished_ = true;
  held_back_.clear();
  if (owner_ == PortOwner::kTestWindow && tests_ && !tests_->HandedBack()) tests_->Back();
  timer_.stop();
  line_timer_.stop();
  if (driver_) driver_->Disconnect();
  tests_.reset();
  faults_.reset();
  driver_.reset();
  port_.reset();
  own_device_.reset();
  emit Finished();
}

}  // namespace kline
