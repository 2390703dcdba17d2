#include "engine/service_desk.h"

#include "link/kline_port.h"
#include "service/actuator_tests.h"
#include "service/fault_memory.h"
#include "session/session_driver.h"

namespace kline {

namespace {

constexpr int kTestsMenuPauseMs = 100;
constexpr char kNotConnected[] = "Connect to the ECU first: it has not been woken yet.";
constexpr char kTestWindowHasPort[] =
    "The test window holds the port: leave it (\"Back\") to read the fault memory.";
constexpr char kFaultWindowHasPort[] =
    "The fault window holds the port: leave it (\"Back\") to run the tests.";

}  // namespace

ServiceDesk::ServiceDesk(const PanelChoices& choices, ServiceMirror& tests, ServiceMirror& faults,
                         std::function<void(Activity)> set_activity, EngineEvents& events)
    : choices_(choices),
      test_mirror_(tests),
      fault_mirror_(faults),
      set_activity_(std::move(set_activity)),
      events_(events) {}

ServiceDesk::~ServiceDesk() = default;

void ServiceDesk::Attach(KLinePort& port, SessionDriver& driver) {
  port_ = &port;
  driver_ = &driver;
  faults_ = std::make_unique<FaultMemory>(port, fault_mirror_);
}

void ServiceDesk::Detach() {
  tests_.reset();
  faults_.reset();
  port_ = nullptr;
  driver_ = nullptr;
}

void ServiceDesk::SetOwner(PortOwner owner) {
  owner_ = owner;
  emit events_.PortOwnerChanged(owner);
}

// The service menus are open only while the session holds the port of a woken ECU.
bool ServiceDesk::CanTakePort(ServiceWindowId window) {
  if (owner_ == PortOwner::kSession && driver_->init() && port_->IsOpen()) return true;
  const char* reason = kNotConnected;
  if (owner_ == PortOwner::kTestWindow) reason = kTestWindowHasPort;
  if (owner_ == PortOwner::kFaultWindow) reason = kFaultWindowHasPort;
  emit events_.Refused(window, QString::fromLatin1(reason));
  return false;
}

bool ServiceDesk::EnterTests() {
  if (!CanTakePort(ServiceWindowId::kTest)) return false;
  SetOwner(PortOwner::kTestWindow);
  driver_->LendPort();
  set_activity_(ActuatorTestsActivity(choices_.type.value_or(EcuType::k15m)));
  port_->clock().SleepMs(kTestsMenuPauseMs);
  tests_ = std::make_unique<ActuatorTests>(*port_, test_mirror_);
  return tests_->EnterDiagnosticMode();
}

void ServiceDesk::RequestTestBack() {
  if (tests_ && tests_->TestRunning()) tests_->Back();
}

void ServiceDesk::LeaveDiagnosticMode() {
  if (owner_ == PortOwner::kTestWindow && tests_) tests_->Back();
}

void ServiceDesk::RunTest(int index, const std::string& custom_code) {
  if (owner_ != PortOwner::kTestWindow && !EnterTests()) return;
  if (tests_) tests_->Press(index, custom_code);
}

void ServiceDesk::TakePortForFaults() {
  SetOwner(PortOwner::kFaultWindow);
  driver_->LendPort();
  set_activity_(Activity::kFaultMemory);
}

void ServiceDesk::EnterFaultReading() {
  if (CanTakePort(ServiceWindowId::kFault)) TakePortForFaults();
}

void ServiceDesk::LeaveFaultReading() {
  if (owner_ == PortOwner::kFaultWindow) faults_->Back();
}

void ServiceDesk::ReadFault(int index) {
  // After "Back" the fault window stays open: a button there takes the port again, as the
  // "Diag" menu would, rather than talking between the session's ticks. So does the tool.
  if (owner_ != PortOwner::kFaultWindow) {
    if (!CanTakePort(ServiceWindowId::kFault)) return;
    TakePortForFaults();
  }
  const FaultButton& button = kFaultButtons[static_cast<size_t>(index)];
  emit events_.FaultRead(index, QString::fromStdString(faults_->Press(button)));
}

void ServiceDesk::Reclaim() {
  LeaveDiagnosticMode();
  LeaveFaultReading();
}

void ServiceDesk::ReturnPortToSession(int interval) {
  SetOwner(PortOwner::kSession);
  driver_->ReturnPort(interval);
}

// The ending: an answer the stop cut short is still on its way, and FF must not meet it on
// the line, nor be taken for it. So the answer is waited for (within the bound of the request
// it answers: up to 5 s for a test's first answer), then the line must be quiet for FF's own
// pause, then FF goes out and its answer is waited for (3 s).
void ServiceDesk::LeaveDiagnosticModeIfNeeded() {
  if (!tests_ || !tests_->MayBeInDiagnosticMode() || !port_->IsOpen()) return;
  test_mirror_.ShowStatusMessage(kLeavingDiagnosticModeLine);
  port_->AwaitDueAnswer();
  tests_->LeaveDiagnosticMode();
}

}  // namespace kline
