#include "engine/diagnostic_engine.h"

#include <QThread>
#include <limits>

#include "engine/connection_watch.h"
#include "engine/interface_finder.h"
#include "engine/line_batcher.h"
#include "engine/mirrors.h"
#include "engine/service_desk.h"
#include "engine/stoppable_clock.h"
#include "link/ini_file.h"
#include "link/kline_port.h"
#include "link/port_device.h"
#include "service/actuator_tests.h"
#include "service/fault_memory.h"
#include "session/session_driver.h"

namespace kline {

DiagnosticEngine::DiagnosticEngine(EngineSetup setup, QObject* parent)
    : QObject(parent),
      setup_(std::move(setup)),
      scheduler_([this] { End(); }),
      events_(new EngineEvents(this)),
      lines_(new LineBatcher(this)),
      watch_(new ConnectionWatch(
          lines_->log(), [this] { return port_ && port_->IsOpen() && !port_->WasLost(); }, this)),
      finder_(new InterfaceFinder(this)),
      panel_(std::make_unique<PanelMirror>(choices_, *watch_, scheduler_,
                                           static_cast<SessionTimer&>(*this), *events_)),
      test_mirror_(
          std::make_unique<ServiceMirror>(ServiceWindowId::kTest, MirrorLinks(), *events_)),
      fault_mirror_(
          std::make_unique<ServiceMirror>(ServiceWindowId::kFault, MirrorLinks(), *events_)),
      desk_(std::make_unique<ServiceDesk>(
          choices_, *test_mirror_, *fault_mirror_,
          [this](Activity activity) { SetActivity(activity); }, *events_)),
      timer_(this) {
  qRegisterMetaType<PortOwner>();
  qRegisterMetaType<ServiceWindowId>();
  qRegisterMetaType<LiveSample>();
  qRegisterMetaType<EcuIdentification>();
  qRegisterMetaType<EcuType>();
  qRegisterMetaType<PanelChoices>();
  qRegisterMetaType<std::vector<LineEntry>>();
  qRegisterMetaType<ConnectionState>();
  qRegisterMetaType<ConnectionFinding>();
  qRegisterMetaType<ServiceVerdict>();
  // The parts' own reports go out as the engine's.
  connect(lines_, &LineBatcher::LineEntries, events_, &EngineEvents::LineEntries);
  connect(watch_, &ConnectionWatch::Diagnosed, events_, &EngineEvents::Diagnosed);
  connect(finder_, &InterfaceFinder::CableChecked, events_, &EngineEvents::CableChecked);
  connect(finder_, &InterfaceFinder::InterfaceFound, events_, &EngineEvents::InterfaceFound);
  connect(finder_, &InterfaceFinder::PortMessage, events_, &EngineEvents::Message);
  choices_.channels.fill(true);
  timer_.setObjectName(QStringLiteral("Timer1"));
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &DiagnosticEngine::TimerTick);
}

DiagnosticEngine::~DiagnosticEngine() = default;

ServiceMirror::Links DiagnosticEngine::MirrorLinks() {
  return {.choices = choices_,
          .scheduler = scheduler_,
          .main_window_hidden = [this] { return desk_->owner() != PortOwner::kSession; },
          .return_port = [this](int interval) { desk_->ReturnPortToSession(interval); }};
}

PortOwner DiagnosticEngine::owner() const { return desk_->owner(); }

LineLog& DiagnosticEngine::line_log() { return lines_->log(); }

void DiagnosticEngine::Start() {
  Clock* base = setup_.clock;
  if (!base) {
    own_clock_ = std::make_unique<SteadyClock>();
    base = own_clock_.get();
  }
  clock_ = std::make_unique<StoppableClock>(*base, scheduler_.stop());
  SerialDevice* device = setup_.device;
  if (!device) {
    own_device_ = NewPortDevice();
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
  clock_->SetAfterPause([this] {
    lines_->FlushIfDue(port_->FirstUnreadUs().value_or(std::numeric_limits<int64_t>::max()));
  });
  lines_->Start();
  driver_ = std::make_unique<SessionDriver>(*port_, *panel_, *settings);
  driver_->OnStage([this](SessionStage stage) {
    static constexpr Activity kActivities[] = {Activity::kWakeUp, Activity::kIdentification,
                                               Activity::kLiveData};
    SetActivity(kActivities[static_cast<int>(stage)]);
  });
  // An ECU that restarted is waited for afresh: the watch's patience starts again with it.
  driver_->OnRestart([this] { watch_->Connected(clock_->NowUs()); });
  desk_->Attach(*port_, *driver_);
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
    if (desk_->owner() != PortOwner::kSession || port_->IsOpen()) return;
    choices_ = choices;
    watch_->Connected(clock_->NowUs());
    SetActivity(Activity::kWakeUp);
    panel_->BeforeConnect();
    driver_->OnConnectBox(true);
    panel_->AfterConnect(port_->IsOpen());
  }});
}

void DiagnosticEngine::Disconnect() {
  Post({.state = [this] { desk_->RequestTestBack(); },
        .wire =
            [this] {
              desk_->Reclaim();
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
    driver_->OnChannelBox();
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
    if (desk_->owner() != PortOwner::kSession) return;
    SetActivity(Activity::kIdentification);
    driver_->ReadEcuInfo();
  }});
}

void DiagnosticEngine::ReadCalibration() {
  Post({.wire = [this] {
    if (desk_->owner() != PortOwner::kSession) return;
    SetActivity(Activity::kIdentification);
    driver_->ReadCalibration();
  }});
}

void DiagnosticEngine::EnterTests() {
  Post({.wire = [this] { desk_->EnterTests(); }});
}

void DiagnosticEngine::LeaveDiagnosticMode() {
  Post({.state = [this] { desk_->RequestTestBack(); },
        .wire = [this] { desk_->LeaveDiagnosticMode(); }});
}

void DiagnosticEngine::RunTest(int index, const QString& custom_code) {
  if (index < 0 || index >= static_cast<int>(kActuatorTests.size())) return;
  Post({.wire = [this, index, code = custom_code.toStdString()] { desk_->RunTest(index, code); }});
}

void DiagnosticEngine::EnterFaultReading() {
  Post({.wire = [this] { desk_->EnterFaultReading(); }});
}

void DiagnosticEngine::LeaveFaultReading() {
  Post({.wire = [this] { desk_->LeaveFaultReading(); }});
}

QList<int> AllFaultBytes() {
  QList<int> all;
  for (int index = 0; index < static_cast<int>(kFaultButtons.size()); ++index) all << index;
  return all;
}

// One command per byte: a stop or another command may come between two reads.
void DiagnosticEngine::ReadFaults(const QList<int>& indices) {
  for (int index : indices) {
    if (index < 0 || index >= static_cast<int>(kFaultButtons.size())) continue;
    Post({.wire = [this, index] { desk_->ReadFault(index); }});
  }
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
  if (log.activity() == activity) return;
  if (log.activity() == Activity::kWakeUp) {
    watch_->AfterWakeUp(log.observation(), driver_ && driver_->strange_identification(),
                        driver_ && driver_->wake_up_late());
  }
  if (log.activity() == Activity::kIdentification) {
    const bool texts =
        driver_ && (driver_->identification().ecu_data || driver_->identification().calibration);
    watch_->AfterIdentification(log.observation(), texts);
  }
  log.SetActivity(activity);
}

void DiagnosticEngine::End() {
  timer_enabled_ = false;
  timer_.stop();
  if (port_) {
    desk_->LeaveDiagnosticModeIfNeeded();
    driver_->Disconnect();
    lines_->Stop();
    desk_->Detach();
  }
  driver_.reset();
  port_.reset();
  own_device_.reset();
  emit Finished();
}

}  // namespace kline
