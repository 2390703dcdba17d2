#include "engine/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

namespace kline {

namespace {

volatile std::sig_atomic_t write_end = -1;

void OnSignal(int) {
  const char byte = 1;
  // Nothing else is async-signal-safe enough here; a full pipe already holds a wake-up.
  [[maybe_unused]] const ssize_t written = ::write(write_end, &byte, 1);
}

}  // namespace

StopSignals::StopSignals() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  write_end = pipe_[1];
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
    char bytes[16];
    while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    emit Received();
  });
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = kSignals[i] == SIGPIPE ? SIG_IGN : OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(kSignals[i], &action, &old_[i]);
  }
}

StopSignals::~StopSignals() {
  if (pipe_[0] < 0) return;
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &old_[i], nullptr);
  write_end = -1;
  notifier_.reset();
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}

}  // namespace kline
