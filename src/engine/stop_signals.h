// Turns every signal that would end a program from outside (Ctrl-C, Ctrl-\, SIGTERM, SIGHUP
// from a closed terminal or a desktop logout, SIGUSR1, a resource limit's warning, ...) into
// a Qt signal on the thread that made the watcher: the handler only writes a byte to a pipe,
// and a socket notifier reads it in that thread's event loop, where stopping the engine
// properly is safe. SIGPIPE is ignored while it lives, so that a closed output is a failed
// write the program can act on, not a kill.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <memory>
#include <vector>

namespace kline {

class StopSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; one watcher at a time. They stay until the watcher goes, so a
  // second signal during the stop it started is one more wake-up, not a kill: keep it alive
  // until the engine has stopped.
  StopSignals();
  // Puts the previous handlers back.
  ~StopSignals() override;
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 signals:
  void Received();

 private:
  struct Previous {
    int signal;
    struct sigaction action;
  };

  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  std::vector<Previous> previous_;
};

}  // namespace kline
