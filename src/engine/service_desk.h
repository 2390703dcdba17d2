// Who holds the port: the session, or one service window. Opens and leaves the test and fault
// windows, runs their exchanges, and refuses the commands of a window that does not hold it.
// Its routines run on the engine's thread, one at a time (WireScheduler).
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "engine/engine_types.h"
#include "engine/mirrors.h"
#include "record/line_log.h"

namespace kline {

class ActuatorTests;
class FaultMemory;
class KLinePort;
class SessionDriver;

class ServiceDesk : public QObject {
  Q_OBJECT

 public:
  ServiceDesk(const PanelChoices& choices, ServiceMirror& tests, ServiceMirror& faults,
              std::function<void(Activity)> set_activity, QObject* parent);
  ~ServiceDesk() override;

  // Once, on the engine's thread, when the port and the session exist.
  void Attach(KLinePort& port, SessionDriver& driver);
  // Lets go of them before they go.
  void Detach();
  PortOwner owner() const { return owner_; }

  void OpenTestWindow();
  void LeaveTestWindow();
  void RunTest(int index, const std::string& custom_code);
  void OpenFaultWindow();
  void LeaveFaultWindow();
  void ReadFault(int index);
  // A state change, applied even inside a routine: a running test stops at its next pass.
  void RequestTestBack();
  // The holder gives the port back as its own "Back" would; the ECU leaves diagnostic mode.
  void Reclaim();
  void ReturnPortToSession(int interval);
  // The ending after a stop: if the ECU may be in diagnostic mode, the line is let fall
  // quiet (a stop may have cut the wait for an answer still on its way), then 8 ms and FF.
  void LeaveDiagnosticModeIfNeeded();

 signals:
  void PortOwnerChanged(kline::PortOwner owner);
  void ServiceWindowShown(kline::ServiceWindowId window);
  // A fault byte read: its answer digits, empty when there was no valid answer.
  void FaultRead(int index, const QString& answer);
  // A command was refused because another window holds the port; `reason` says so.
  void Refused(kline::ServiceWindowId window, const QString& reason);

 private:
  void SetOwner(PortOwner owner);
  bool CanTakePort(ServiceWindowId window);
  void TakePortForFaults();

  const PanelChoices& choices_;
  ServiceMirror& test_mirror_;
  ServiceMirror& fault_mirror_;
  std::function<void(Activity)> set_activity_;
  KLinePort* port_ = nullptr;
  SessionDriver* driver_ = nullptr;
  std::unique_ptr<ActuatorTests> tests_;
  std::unique_ptr<FaultMemory> faults_;
  PortOwner owner_ = PortOwner::kSession;
};

}  // namespace kline
