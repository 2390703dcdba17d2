#include "cli/interrupt_watcher.h"

#include <fcntl.h>
#include <unistd.h>

namespace kline::cli {

namespace {

volatile std::sig_atomic_t write_end = -1;

void OnSignal(int) {
  const char byte = 1;
  // Nothing else is async-signal-safe enough here; a full pipe already holds a wake-up.
  [[maybe_unused]] const ssize_t written = ::write(write_end, &byte, 1);
}

}  // namespace

InterruptWatcher::InterruptWatcher() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  write_end = pipe_[1];
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
    char bytes[16];
    while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    emit Interrupted();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &old_int_);
  sigaction(SIGTERM, &action, &old_term_);
}

InterruptWatcher::~InterruptWatcher() {
  if (pipe_[0] < 0) return;
  sigaction(SIGINT, &old_int_, nullptr);
  sigaction(SIGTERM, &old_term_, nullptr);
  write_end = -1;
  notifier_.reset();
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}

}  // namespace kline::cli
