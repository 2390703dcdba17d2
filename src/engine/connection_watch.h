// Watches a connection for the ways it fails and says, once per change, what the wire showed:
// an ECU that has not said who it is some seconds after "Connect", a first live step without
// a single answer, an identification whose echoes or answers arrived garbled.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "engine/engine_types.h"
#include "record/line_log.h"
#include "session/live_sample.h"

namespace kline {

class ConnectionWatch : public QObject {
  Q_OBJECT

 public:
  // `port_ok`: the port is open and was not lost.
  ConnectionWatch(const LineLog& log, std::function<bool()> port_ok, QObject* parent);

  void Connected(int64_t now_us);
  void Disconnected() { diagnosis_.clear(); }
  // After each session tick; `waiting`: the ECU has not been woken yet.
  void AfterTick(int64_t now_us, bool waiting);
  void OnSample(const LiveSample& sample);
  // At the end of the identification: its requests each bring back their echo and one
  // answer; echoes that did not come back as sent, or more bytes than were asked for, mean
  // the answers arrive garbled. The texts themselves may hold any byte. `texts`: a text was
  // read, so the ECU answers at this rate.
  void AfterIdentification(const WireObservation& seen, bool texts);
  // At the end of the wake-up; `strange`: the bytes it took for the identification were not
  // one, `late`: its bytes left too far apart; either way an ECU silent from then on was
  // never woken.
  void AfterWakeUp(const WireObservation& seen, bool strange, bool late);
  // What the wire showed while the connection is failing; empty while all is well.
  const QString& diagnosis() const { return diagnosis_; }

 signals:
  void Diagnosed(kline::ConnectionFinding finding, const QString& sentence);

 private:
  void Diagnose(FailedStep step);

  const LineLog& log_;
  std::function<bool()> port_ok_;
  QString diagnosis_;
  int64_t connected_at_us_ = 0;
  bool answered_ = false;  // a complete live step since connecting
  std::optional<WireObservation> strange_wake_up_;
  bool late_wake_up_ = false;
  bool identified_ = false;  // the ECU answered the identification since connecting
  // Bytes came during an identification that read no text: what they were tells more than
  // the silence after them.
  std::optional<WireObservation> odd_identification_;
};

}  // namespace kline
