// The line monitor's feed: the port's tap (every byte with its time and label) handed on to
// the window thread in batches, often enough to watch and seldom enough to cost nothing.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "record/line_log.h"

namespace kline {

class LineBatcher : public QObject {
  Q_OBJECT

 public:
  explicit LineBatcher(QObject* parent);

  LineLog& log() { return log_; }
  // On the engine's thread.
  void Start() { timer_.start(); }
  // Hands on what is left and stops.
  void Stop();
  // From within a routine's pauses, which keep the engine's loop (and the batch timer) waiting:
  // hands on a batch when the last is a batch interval old, so the bytes of a long wait (the
  // wake-up's, an answer that does not come) are seen as they cross the wire, not once the
  // routine is over. `unread_since_us`: see LineLog::TakeWrittenBefore.
  void FlushIfDue(int64_t unread_since_us);

 signals:
  // Bytes that crossed the wire since the last batch.
  void LineEntries(const std::vector<kline::LineEntry>& entries);

 private:
  void Flush();

  LineLog log_;
  QTimer timer_;
  QElapsedTimer since_flush_;
};

}  // namespace kline
