// The wire's one owner: the serial port, the session and the service routines, run on one
// thread. Windows and the command-line tool call its commands from any thread; each waits
// its turn in the inbox (WireScheduler), so no exchange ever runs inside another, and the
// port answers only the routines that hold it (ServiceDesk). The commands say what the user
// means; what happens is reported, as facts, on one object: events().
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <memory>
#include <optional>

#include "engine/engine_events.h"
#include "engine/engine_types.h"
#include "engine/mirrors.h"
#include "engine/wire_scheduler.h"
#include "link/clock.h"
#include "link/ecu_type.h"
#include "link/session_timer.h"

namespace kline {

class ConnectionWatch;
class InterfaceFinder;
class KLinePort;
class LineBatcher;
class SerialDevice;
class ServiceDesk;
class SessionDriver;
class SettingsStore;
class StoppableClock;

struct EngineSetup {
  // The line to talk through; nullptr: a real serial port, made on the engine's thread.
  SerialDevice* device = nullptr;
  // The clock every wait runs on; nullptr: real time.
  Clock* clock = nullptr;
  QString settings_path;
  // Where the settings go; nullptr: the file at settings_path.
  const SettingsStore* settings = nullptr;
};

// Every fault byte, in button order ("Read all").
QList<int> AllFaultBytes();

class DiagnosticEngine : public QObject, private SessionTimer {
  Q_OBJECT

 public:
  explicit DiagnosticEngine(EngineSetup setup, QObject* parent = nullptr);
  ~DiagnosticEngine() override;

  // Where the reports come from; it lives as long as the engine.
  EngineEvents& events() { return *events_; }

  // Commands, callable from any thread.
  void Connect(const PanelChoices& choices);
  // Whoever holds the port gives it back first: a running test stops at its next pass and
  // the ECU leaves diagnostic mode before the port closes.
  void Disconnect();
  void SetPortField(const QString& text);
  void SetType(std::optional<EcuType> type);
  void SetChannel(int channel, bool ticked);
  void SetEcuData(bool ticked);
  void SetCalibration(bool ticked);
  void ReadEcuInfo();
  void ReadCalibration();
  // The port goes to the actuator tests and the ECU into diagnostic mode ("Tests").
  void EnterTests();
  // Test `index` of kActuatorTests (`custom_code` for the custom one); the port is taken for
  // the tests first when they do not hold it.
  void RunTest(int index, const QString& custom_code);
  // The tests give the port back: a running test stops at its next pass, the ECU leaves
  // diagnostic mode and the session polls again.
  void LeaveDiagnosticMode();
  // The port goes to the fault memory's routines ("Diag").
  void EnterFaultReading();
  // The fault bytes at `indices` of kFaultButtons, in that order; the port is taken first
  // when the fault routines do not hold it.
  void ReadFaults(const QList<int>& indices);
  void LeaveFaultReading();
  // "Check cable" on the port named by `field`, while not connected.
  void CheckCable(const QString& field);
  // Runs the cable check on each port in turn and names the first whose echo is correct.
  void FindInterface(const QStringList& fields);
  // The running routine ends at its next pause or wait; then, if the ECU may be in
  // diagnostic mode, it is taken out of it, the port closes and Finished is emitted.
  void RequestStop();

  // On the engine's thread: makes the port, the session and the service routines.
  void Start();
  // The session timer's tick (its handler; tests on virtual time call it themselves).
  void TimerTick();

  // For the engine's own tests.
  PortOwner owner() const;
  LineLog& line_log();
  SessionDriver* driver() { return driver_.get(); }
  bool SessionTimerRunning() const { return timer_enabled_; }
  int SessionTimerInterval() const { return timer_interval_; }

 signals:
  // The ending after a stop is over: the port is closed.
  void Finished();

 private:
  void Post(EngineCommand command);
  void Wake();
  // What a service window's mirror needs of the engine.
  ServiceMirror::Links MirrorLinks();
  void TimerOn(int interval) override;
  void SetActivity(Activity activity);
  // The proper ending after a stop.
  void End();

  EngineSetup setup_;
  PanelChoices choices_;
  WireScheduler scheduler_;
  std::atomic<bool> wake_queued_{false};
  std::unique_ptr<Clock> own_clock_;
  std::unique_ptr<StoppableClock> clock_;
  std::unique_ptr<SerialDevice> own_device_;
  std::unique_ptr<SettingsStore> own_settings_;
  std::unique_ptr<KLinePort> port_;
  // Made with the engine, so that windows can follow its events at once.
  EngineEvents* events_;
  LineBatcher* lines_;
  ConnectionWatch* watch_;
  InterfaceFinder* finder_;
  std::unique_ptr<PanelMirror> panel_;
  std::unique_ptr<ServiceMirror> test_mirror_;
  std::unique_ptr<ServiceMirror> fault_mirror_;
  std::unique_ptr<ServiceDesk> desk_;
  std::unique_ptr<SessionDriver> driver_;

  QTimer timer_;  // the session timer: single shot, armed again after each tick
  bool timer_enabled_ = false;
  int timer_interval_ = 0;
};

}  // namespace kline
