// Turns the signals that end a program from outside (SIGINT from Ctrl-C, SIGTERM, SIGHUP
// from a closed terminal or a desktop logout) into a Qt signal on the thread that made the
// watcher: the handler only writes a byte to a pipe, and a socket notifier reads it in that
// thread's event loop, where stopping the engine properly is safe. SIGPIPE is ignored while
// it lives, so that a closed output is a failed write the program can act on, not a kill.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

namespace kline {

class StopSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; one watcher at a time.
  StopSignals();
  // Puts the previous handlers back.
  ~StopSignals() override;
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 signals:
  void Received();

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  struct sigaction old_[std::size(kSignals)]{};
};

}  // namespace kline
