// Everything the engine reports, as facts in types: the connection's state, what the ECU said
// about itself, the live readings and samples, the diagnosis of a failing connection, who holds
// the port, a test's progress and verdict, the fault bytes read, the bytes on the wire. Windows
// and the command-line tool follow this one object; how a fact looks (a lamp's colour, a
// caption, an exit status) is theirs to decide. Signals are emitted on the engine's thread and
// reach a listener on another thread queued.
#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

#include "engine/engine_types.h"
#include "record/line_log.h"

namespace kline {

class EngineEvents : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

 signals:
  // The connection.
  void ConnectionChanged(kline::ConnectionState state);
  // A sentence for the user about the port, the connection or a service routine (why a port
  // did not open, that the ECU went quiet, what is polled, that it stayed in diagnostic mode);
  // empty when the last one no longer holds.
  void Message(const QString& text);
  // What the wire showed while the connection fails; the sentence also goes with the next
  // message.
  void Diagnosed(kline::ConnectionFinding finding, const QString& sentence);
  // The session's step in words ("Wait for ignition.."), empty once live data flows.
  void StepChanged(const QString& text);
  // What the ECU said about itself, and the info box's lines for it; empty after a disconnect.
  void IdentificationChanged(const kline::EcuIdentification& facts, const QStringList& lines);

  // Live data. A channel's reading as its field shows it, empty when the field is emptied.
  void ReadingChanged(int channel, const QString& text);
  // The ECU stopped answering for this channel: its last reading is old.
  void ReadingStale(int channel, bool stale);
  // The engine-speed bar's lit segments and the big figure beside it.
  void SpeedBarChanged(int lit_below);
  void SpeedFigureChanged(const QString& text);
  // The session ticked or unticked a channel itself (a P8's connect, every box unticked).
  void ChannelTicked(int channel, bool ticked);
  // Each live step's values as numbers.
  void SampleTaken(const kline::LiveSample& sample);

  // The service routines.
  void PortOwnerChanged(kline::PortOwner owner);
  // A service command refused because the port is not the asker's to take; `reason` says why.
  void Refused(kline::ServiceWindowId window, const QString& reason);
  // A line of a service window's log, as the routines wrote it.
  void ServiceLine(kline::ServiceWindowId window, const QString& text);
  void TestProgress(float value, float maximum);
  // A test holds the port: no second one may start.
  void TestRunning(bool running);
  void Verdict(kline::ServiceWindowId window, kline::ServiceVerdict verdict);
  // A fault byte read: its answer digits, empty when there was no valid answer.
  void FaultRead(int index, const QString& answer);

  // The cable checks run from the port list.
  void CableChecked(const QString& field, bool echo_ok, const QString& sentence);
  // `field` is empty when no port echoed correctly; `summary` says which ones were tried.
  void InterfaceFound(const QString& field, const QString& summary);
  // Bytes that crossed the wire since the last batch.
  void LineEntries(const std::vector<kline::LineEntry>& entries);
};

}  // namespace kline
