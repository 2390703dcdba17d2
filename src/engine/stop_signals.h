// Turns every request from outside to end the program into a Qt signal on the thread that made
// the watcher, whose event loop can then stop the engine properly.
//
// On Unix these are the signals that would end it (Ctrl-C, Ctrl-\, SIGTERM, SIGHUP from a
// closed terminal or a desktop logout, SIGUSR1, a resource limit's warning, ...): the handler
// only writes a byte to a pipe, which a socket notifier reads. SIGPIPE is ignored while the
// watcher lives, so that a closed output is a failed write the program can act on, not a kill.
//
// On Windows they are the console's events (Ctrl-C, Ctrl-Break, a closed console window, a
// logoff or shutdown), which arrive on a thread of the system's; for the last three the system
// ends the process once the handler returns, so the handler waits until the watcher is gone.
#pragma once

#include <QObject>
#include <memory>

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
  // The platform's handlers and what they need to be put back.
  struct Handlers;
  std::unique_ptr<Handlers> handlers_;
};

}  // namespace kline
