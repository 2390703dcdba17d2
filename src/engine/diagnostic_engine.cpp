#include "engine/diagnostic_engine.h"

#include <QThread>

#include "engine/connection_watch.h"
#include "engine/interface_finder.h"
#include "engine/line_batcher.h"
#include "engine/mirrors.h"
#include "engine/stoppable_clock.h"
#include "link/ini_file.h"
#include "link/kline_port.h"
#include "link/qt_serial_device.h"
#include "service/actuator_tests.h"
#include "service/fault_memory.h"
#include "session/session_driver.h"

namespace kline {

namespace {

constexpr int kTestsMenuPauseMs = 100;
// After a stop has cut a wait, an answer may still be on its way: FF must not meet it. The
// line counts as quiet after two byte times without a byte, and the ending waits at most this.
constexpr int64_t kQuietBoundMs = 100;
constexpr char kNotConnected[] = "Connect to the ECU first: it has not been woken yet.";
constexpr char kTestWindowHasPort[] =
    "The test window holds the port: leave it (\"Back\") to read the fault memory.";
constexpr char kFaultWindowHasPort[] =
    "The fault window holds the port: leave it (\"Back\") to run the tests.";

int64_t TwoByteTimesMs(int32_t baud) { return (2 * 10 * 1000 + baud - 1) / baud; }

}  // namespace

DiagnosticEngine::DiagnosticEngine(EngineSetup setup, QObject* parent)
    : QObject(parent),
      setup_(std::move(setup)),
      scheduler_([this] { End(); }),
      lines_(new LineBatcher(this)),
      watch_(new ConnectionWatch(
          lines_->log(), [this] { return port_ && port_->IsOpen() && !port_->WasLost(); }, this)),
      finder_(new InterfaceFinder(this)),
      panel_(new PanelMirror(choices_, *watch_, scheduler_, *this, this)),
      test_mirror_(new ServiceMirror(
          {.choices = choices_,
           .scheduler = scheduler_,
           .main_window_hidden = [this] { return owner_ != PortOwner::kSession; },
           .return_port = [this](int interval) { ReturnPortToSession(interval); }},
          this)),
      fault_mirror_(new ServiceMirror(
          {.choices = choices_,
           .scheduler = scheduler_,
           .main_window_hidden = [this] { return owner_ != PortOwner::kSession; },
           .return_port = [this](int interval) { ReturnPortToSession(interval); }},
          this)),
      timer_(this) {
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
}

DiagnosticEngine::~DiagnosticEngine() = default;

ServiceMirror& DiagnosticEngine::service(ServiceWindowId window) {
  return window == ServiceWindowId::kTest ? *test_mirror_ : *fault_mirror_;
}

void DiagnosticEngine::Start() {
  Clock* base = setup_.clock;
  if (!base) {
    own_clock_ = std::make_unique<SteadyClock>();
    base = own_clock_.get();
  }
  clock_ = std::make_unique<StoppableClock>(*base, scheduler_.stop());
  SerialDevice* device = setup_.device;
  if (!device) {
    own_device_ = std::make_unique<QtSerialDevice>();
    device = own_device_.get();
  }
  const SettingsStore* settings = setup_.settings;
  if (!settings) {
    own_settings_ = std::make_unique<IniFile>(setup_.settings_path);
    settings = own_settings_.get();
  }
  port_ = std::make_unique<KLinePort>(*device, *clock_);
  port_->SetStop(&scheduler_.stop());
  port_->SetTap(&lines_->log());
  // A received byte is stamped when the port first sees it waiting: looking at the count
  // during long pauses (the wake-up's) keeps the line monitor's times true to the wire.
  clock_->SetBetweenSlices([this] { port_->PendingCount(); });
  lines_->Start();
  driver_ = std::make_unique<SessionDriver>(*port_, *panel_, *settings);
  driver_->OnStage([this](SessionStage stage) {
    static constexpr Activity kActivities[] = {Activity::kWakeUp, Activity::kIdentification,
                                               Activity::kLiveData};
    SetActivity(kActivities[static_cast<int>(stage)]);
  });
  faults_ = std::make_unique<FaultMemory>(*port_, *fault_mirror_, *fault_mirror_);
}

void DiagnosticEngine::Post(EngineCommand command) {
  scheduler_.Post(std::move(command));
  Wake();
}

// On the engine's own thread a command runs at once, unless a routine runs: that routine
// takes the inbox when it ends. From elsewhere, one queued call wakes the engine's loop.
void DiagnosticEngine::Wake() {
  if (QThread::currentThread() == thread()) {
    scheduler_.RunPending();
    return;
  }
  if (wake_queued_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        wake_queued_.store(false);
        scheduler_.RunPending();
      },
      Qt::QueuedConnection);
}

void DiagnosticEngine::RequestStop() {
  scheduler_.RequestStop();
  Wake();
}

void DiagnosticEngine::Connect(const PanelChoices& choices) {
  Post({.wire = [this, choices] {
    // Connected already (the box cannot be ticked twice, but a command can come twice): a
    // second wake-up would reach a working ECU as a request for diagnostic mode.
    if (owner_ != PortOwner::kSession || port_->IsOpen()) return;
    choices_ = choices;
    watch_->Connected(clock_->NowUs());
    SetActivity(Activity::kWakeUp);
    driver_->OnConnectBox(true);
  }});
}

void DiagnosticEngine::Disconnect() {
  Post({.state = [this] { RequestTestBack(); },
        .wire =
            [this] {
              ReclaimPort();
              watch_->Disconnected();
              driver_->OnConnectBox(false);
            }});
}

void DiagnosticEngine::SetPortField(const QString& text) {
  Post({.state = [this, text] { choices_.port_field = text; }});
}

void DiagnosticEngine::SetType(std::optional<EcuType> type) {
  Post({.state = [this, type] { choices_.type = type; }});
}

void DiagnosticEngine::SetChannel(int channel, bool ticked) {
  if (channel < 0 || channel >= kChannelCount) return;
  Post({.state = [this, channel, ticked] {
    choices_.channels.at(static_cast<size_t>(channel)) = ticked;
    driver_->OnChannelBox(channel);
  }});
}

void DiagnosticEngine::SetEcuData(bool ticked) {
  Post({.state = [this, ticked] {
    choices_.ecu_data = ticked;
    driver_->OnEcuDataBox(ticked);
  }});
}

void DiagnosticEngine::SetCalibration(bool ticked) {
  Post({.state = [this, ticked] {
    choices_.calibration = ticked;
    driver_->OnCalibrationBox(ticked);
  }});
}

void DiagnosticEngine::ReadEcuInfo() {
  Post({.wire = [this] {
    if (owner_ != PortOwner::kSession) return;
    SetActivity(Activity::kIdentification);
    driver_->ReadEcuInfo();
  }});
}

void DiagnosticEngine::ReadCalibration() {
  Post({.wire = [this] {
    if (owner_ != PortOwner::kSession) return;
    SetActivity(Activity::kIdentification);
    driver_->ReadCalibration();
  }});
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
  Post({.wire = [this] {
    if (!CanTakePort(ServiceWindowId::kTest)) return;
    SetOwner(PortOwner::kTestWindow);
    driver_->LendPort();
    SetActivity(ActuatorTestsActivity(choices_.type.value_or(EcuType::k15m)));
    clock_->SleepMs(kTestsMenuPauseMs);
    emit ServiceWindowShown(ServiceWindowId::kTest);
    tests_ = std::make_unique<ActuatorTests>(*port_, *test_mirror_, *test_mirror_, *test_mirror_,
                                             *test_mirror_);
    tests_->EnterDiagnosticMode();
  }});
}

// A running test only notes the wish and stops at its next pass.
void DiagnosticEngine::RequestTestBack() {
  if (tests_ && tests_->TestRunning()) tests_->Back();
}

void DiagnosticEngine::LeaveTestWindow() {
  Post({.state = [this] { RequestTestBack(); },
        .wire =
            [this] {
              if (owner_ == PortOwner::kTestWindow && tests_) tests_->Back();
            }});
}

void DiagnosticEngine::RunTest(int index, const QString& custom_code) {
  if (index < 0 || index >= static_cast<int>(kActuatorTests.size())) return;
  Post({.wire = [this, index, code = custom_code.toStdString()] {
    if (owner_ == PortOwner::kTestWindow && tests_) tests_->Press(index, code);
  }});
}

void DiagnosticEngine::TakePortForFaults() {
  SetOwner(PortOwner::kFaultWindow);
  driver_->LendPort();
  SetActivity(Activity::kFaultMemory);
  emit ServiceWindowShown(ServiceWindowId::kFault);
}

void DiagnosticEngine::OpenFaultWindow() {
  Post({.wire = [this] {
    if (CanTakePort(ServiceWindowId::kFault)) TakePortForFaults();
  }});
}

void DiagnosticEngine::LeaveFaultWindow() {
  Post({.wire = [this] {
    if (owner_ == PortOwner::kFaultWindow) faults_->Back();
  }});
}

void DiagnosticEngine::ReadFault(int index) {
  if (index < 0 || index >= static_cast<int>(kFaultButtons.size())) return;
  Post({.wire = [this, index] {
    // After "Back" the fault window stays open: a button there takes the port again, as
    // the "Diag" menu would, rather than talking between the session's ticks.
    if (owner_ != PortOwner::kFaultWindow) {
      if (!CanTakePort(ServiceWindowId::kFault)) return;
      TakePortForFaults();
    }
    const FaultButton& button = kFaultButtons[static_cast<size_t>(index)];
    emit FaultRead(index, QString::fromStdString(faults_->Press(button)));
  }});
}

void DiagnosticEngine::ReadAllFaults() {
  for (int index = 0; index < static_cast<int>(kFaultButtons.size()); ++index) ReadFault(index);
}

void DiagnosticEngine::CheckCable(const QString& field) {
  Post({.wire = [this, field] {
    SetActivity(Activity::kInterfaceCheck);
    finder_->CheckCable(*port_, field);
  }});
}

void DiagnosticEngine::FindInterface(const QStringList& fields) {
  Post({.wire = [this, fields] {
    SetActivity(Activity::kInterfaceCheck);
    finder_->FindInterface(*port_, fields);
  }});
}

void DiagnosticEngine::ReturnPortToSession(int interval) {
  SetOwner(PortOwner::kSession);
  driver_->ReturnPort(interval);
}

void DiagnosticEngine::ReclaimPort() {
  if (owner_ == PortOwner::kTestWindow && tests_) tests_->Back();
  if (owner_ == PortOwner::kFaultWindow) faults_->Back();
}

void DiagnosticEngine::TimerOn(int interval) {
  if (interval < 1 || scheduler_.finished()) {
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
  scheduler_.RunRoutine([this] {
    driver_->Tick();
    watch_->AfterTick(clock_->NowUs(), port_->IsOpen() && !driver_->init());
  });
  if (timer_enabled_ && !scheduler_.finished()) timer_.start(timer_interval_);
}

// Only a change of activity restarts what the log observes, so a wake-up that fails tick
// after tick is judged on everything the wire showed since "Connect".
void DiagnosticEngine::SetActivity(Activity activity) {
  LineLog& log = lines_->log();
  if (log.activity() != activity) log.SetActivity(activity);
}

void DiagnosticEngine::End() {
  timer_enabled_ = false;
  timer_.stop();
  if (port_) {
    if (tests_ && tests_->MayBeInDiagnosticMode() && port_->IsOpen()) {
      port_->WaitForQuiet(TwoByteTimesMs(port_->baud()), kQuietBoundMs);
      tests_->LeaveDiagnosticMode();
    }
    driver_->Disconnect();
    lines_->Stop();
  }
  tests_.reset();
  faults_.reset();
  driver_.reset();
  port_.reset();
  own_device_.reset();
  emit Finished();
}

}  // namespace kline
