// The wire's one owner: the serial port, the session and the service routines, run on one
// thread. Windows (and the command-line tool) send it commands and draw what it reports;
// nothing else touches the port, so no exchange can ever run inside another.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "engine/engine_types.h"
#include "link/clock.h"
#include "link/ecu_type.h"
#include "record/line_log.h"
#include "session/live_sample.h"

namespace kline {

class ActuatorTests;
class FaultMemory;
class IniFile;
class KLinePort;
class PanelMirror;
class SerialDevice;
class ServiceMirror;
class SessionDriver;
class StoppableClock;
enum class FailedStep;
enum class SessionStage;

struct EngineSetup {
  // The line to talk through; nullptr: a real serial port, made on the engine's thread.
  SerialDevice* device = nullptr;
  // The clock every wait runs on; nullptr: real time.
  Clock* clock = nullptr;
  QString settings_path;
};

class DiagnosticEngine : public QObject {
  Q_OBJECT

 public:
  explicit DiagnosticEngine(EngineSetup setup, QObject* parent = nullptr);
  ~DiagnosticEngine() override;

  // Thread-safe: every wait gives up at its next poll and every pause is cut short, so
  // that a Shutdown queued behind a long exchange is reached at once.
  void RequestStop() { stop_.store(true); }

  // Commands. Call them on the engine's thread (queued from elsewhere).
  // Makes the port, the session and the service routines on the calling thread.
  void Start();
  void Connect(const PanelChoices& choices);
  void Disconnect();
  void SetPortField(const QString& text);
  void SetType(std::optional<EcuType> type);
  void SetChannel(int channel, bool ticked);
  void SetEcuData(bool ticked);
  void SetCalibration(bool ticked);
  void ReadEcuInfo();
  void ReadCalibration();
  void OpenTestWindow();
  void LeaveTestWindow();
  void RunTest(int index, const QString& custom_code);
  void OpenFaultWindow();
  void LeaveFaultWindow();
  void ReadFault(int index);
  void ReadAllFaults();
  // "Check cable" on the port named by `field`, while not connected.
  void CheckCable(const QString& field);
  // Runs the cable check on each port in turn and names the first whose echo is correct.
  void FindInterface(const QStringList& fields);
  // Leaves diagnostic mode if the ECU is in it, closes the port and emits Finished once
  // whatever runs now has unwound.
  void Shutdown();
  // The session timer's tick (its handler; tests on virtual time call it themselves).
  void TimerTick();

  // What the session and service routines see, for the engine's own tests.
  PortOwner owner() const { return owner_; }
  SessionDriver* driver() { return driver_.get(); }
  bool SessionTimerRunning() const { return timer_enabled_; }
  int SessionTimerInterval() const { return timer_interval_; }

  // Used by the mirrors.
  void TimerOn(int interval);
  void ApplyPendingCommands();
  void ReturnPortToSession(int interval);
  const PanelChoices& choices() const { return choices_; }
  void SetChannelState(int channel, bool ticked);
  void OnSample(const LiveSample& sample);
  // An identification text that is not readable text means the answers arrive garbled
  // although the exchanges succeed: the status bar says so.
  void CheckIdentification(const QString& line);
  // What the wire showed while the connection is failing; empty while all is well.
  const QString& diagnosis() const { return diagnosis_; }

 signals:
  // The main window's fields and controls.
  void ValueTextChanged(int channel, const QString& text);
  void ValueStaleChanged(int channel, bool stale);
  void ChannelTickedChanged(int channel, bool ticked);
  void SpeedBarChanged(int lit_below);
  void SpeedReadoutChanged(const QString& text);
  void InfoAppended(const QString& text);
  void InfoCleared();
  void StatusChanged(const QString& text);
  void PortMessage(const QString& text);
  void ConnectTickedChanged(bool ticked);
  void ConnectCaptionChanged(const QString& caption);
  void IndicatorColourChanged(uint32_t bgr);
  void ServiceMenusEnabledChanged(bool enabled);
  void FaultWindowHidden();
  void SampleTaken(const kline::LiveSample& sample);
  // The service windows.
  void PortOwnerChanged(kline::PortOwner owner);
  void ServiceWindowShown(kline::ServiceWindowId window);
  void ServiceWindowClosed(kline::ServiceWindowId window);
  void MainWindowShown();
  void LogLine(kline::ServiceWindowId window, const QString& text);
  void ProgressMaximumChanged(float maximum);
  void ProgressValueChanged(float value);
  void TestButtonsEnabledChanged(bool enabled);
  // A fault byte read: its answer digits, empty when there was no valid answer.
  void FaultRead(int index, const QString& answer);
  // A command was refused because another window holds the port; `reason` says so.
  void Refused(kline::ServiceWindowId window, const QString& reason);
  // Bytes that crossed the wire since the last batch, for the line monitor.
  void LineEntries(const std::vector<kline::LineEntry>& entries);
  void CableChecked(const QString& field, bool echo_ok, const QString& sentence);
  // `field` is empty when no port echoed correctly; `summary` says which ones were tried.
  void InterfaceFound(const QString& field, const QString& summary);
  void Finished();

 private:
  // Runs one command; once the outermost one has unwound, runs the wire routines that
  // were held back meanwhile and, when asked to, shuts down.
  void Handle(const std::function<void()>& command);
  // Runs a routine that talks to the ECU, or holds it back until the one running now ends:
  // commands applied inside a routine's wait must not put an exchange inside another.
  void RunWire(std::function<void()> routine);
  void SetOwner(PortOwner owner);
  bool CanTakePort(ServiceWindowId window);
  void TakePortForFaults();
  void Finish();
  void OnStage(SessionStage stage);
  void SetActivity(Activity activity);
  void Diagnose(FailedStep step);
  void FlushLineEntries();

  EngineSetup setup_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<Clock> own_clock_;
  std::unique_ptr<StoppableClock> clock_;
  std::unique_ptr<SerialDevice> own_device_;
  std::unique_ptr<IniFile> settings_;
  std::unique_ptr<KLinePort> port_;
  std::unique_ptr<PanelMirror> panel_;
  std::unique_ptr<ServiceMirror> test_mirror_;
  std::unique_ptr<ServiceMirror> fault_mirror_;
  std::unique_ptr<SessionDriver> driver_;
  std::unique_ptr<ActuatorTests> tests_;
  std::unique_ptr<FaultMemory> faults_;

  PanelChoices choices_;
  PortOwner owner_ = PortOwner::kSession;
  QTimer timer_;  // the session timer: single shot, armed again after each tick
  bool timer_enabled_ = false;
  int timer_interval_ = 0;
  int depth_ = 0;
  bool wire_busy_ = false;
  bool stopping_ = false;
  bool finished_ = false;
  std::deque<std::function<void()>> held_back_;

  LineLog line_log_;
  QTimer line_timer_;  // hands the line log's new entries on in batches
  QString diagnosis_;
  int64_t connected_at_us_ = 0;
  bool answered_ = false;  // a complete live step since connecting
};

}  // namespace kline
