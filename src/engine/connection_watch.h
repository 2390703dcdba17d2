// Watches a connection for the ways it fails and says, once per change, what the wire showed:
// an ECU that has not said who it is some seconds after "Connect", a first live step without
// a single value, identification texts that arrive unreadable.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

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
  // An identification text that is not readable text means the answers arrive garbled
  // although the exchanges succeed.
  void OnInfoLine(const QString& line);
  // What the wire showed while the connection is failing; empty while all is well.
  const QString& diagnosis() const { return diagnosis_; }

 signals:
  void PortMessage(const QString& text);

 private:
  void Diagnose(FailedStep step);

  const LineLog& log_;
  std::function<bool()> port_ok_;
  QString diagnosis_;
  int64_t connected_at_us_ = 0;
  bool answered_ = false;  // a complete live step since connecting
};

}  // namespace kline
