// Who holds the port: the session, or the test or fault routines. Lends the port to them when
// the user means to run a test or read the fault memory, runs their exchanges, gives the port
// back when they are done, and refuses what the port's holder does not allow. Its routines run
// on the engine's thread, one at a time (WireScheduler).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/engine_events.h"
#include "engine/engine_types.h"
#include "engine/mirrors.h"

namespace kline {

class ActuatorTests;
class FaultMemory;
class KLinePort;
class SessionDriver;

class ServiceDesk {
 public:
  ServiceDesk(const PanelChoices& choices, ServiceMirror& tests, ServiceMirror& faults,
              std::function<void(Activity)> set_activity, EngineEvents& events);
  ~ServiceDesk();

  // Once, on the engine's thread, when the port and the session exist.
  void Attach(KLinePort& port, SessionDriver& driver);
  // Lets go of them before they go.
  void Detach();
  PortOwner owner() const { return owner_; }

  // Takes the port for the tests and puts the ECU in diagnostic mode; true when it is in it.
  bool EnterTests();
  // Runs test `index` of kActuatorTests, taking the port for the tests first if need be.
  void RunTest(int index, const std::string& custom_code);
  void LeaveDiagnosticMode();
  void EnterFaultReading();
  // Reads fault byte `index` of kFaultButtons, taking the port first if need be.
  void ReadFault(int index);
  void LeaveFaultReading();
  // A state change, applied even inside a routine: a running test stops at its next pass.
  void RequestTestBack();
  // The holder gives the port back as its own "Back" would; the ECU leaves diagnostic mode.
  void Reclaim();
  void ReturnPortToSession(int interval);
  // The ending after a stop: if the ECU may be in diagnostic mode, the line is let fall
  // quiet (a stop may have cut the wait for an answer still on its way), then 8 ms and FF.
  void LeaveDiagnosticModeIfNeeded();

 private:
  void SetOwner(PortOwner owner);
  bool CanTakePort(ServiceWindowId window);
  void TakePortForFaults();

  const PanelChoices& choices_;
  ServiceMirror& test_mirror_;
  ServiceMirror& fault_mirror_;
  std::function<void(Activity)> set_activity_;
  EngineEvents& events_;
  KLinePort* port_ = nullptr;
  SessionDriver* driver_ = nullptr;
  std::unique_ptr<ActuatorTests> tests_;
  std::unique_ptr<FaultMemory> faults_;
  PortOwner owner_ = PortOwner::kSession;
};

}  // namespace kline
