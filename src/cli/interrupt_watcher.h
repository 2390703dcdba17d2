// Turns SIGINT and SIGTERM into a Qt signal on the thread that made the watcher: the handler
// only writes a byte to a pipe, and a socket notifier reads it in that thread's event loop,
// where stopping the engine is safe.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

namespace kline::cli {

class InterruptWatcher : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; one watcher at a time.
  InterruptWatcher();
  // Puts the previous handlers back.
  ~InterruptWatcher() override;
  InterruptWatcher(const InterruptWatcher&) = delete;
  InterruptWatcher& operator=(const InterruptWatcher&) = delete;

 signals:
  void Interrupted();

 private:
  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
};

}  // namespace kline::cli
