#include "engine/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kline {

namespace {

volatile std::sig_atomic_t write_end = -1;

void OnSignal(int) {
  // The interrupted code may be about to read errno.
  const int saved_errno = errno;
  const char byte = 1;
  // Nothing else is async-signal-safe enough here; a full pipe already holds a wake-up.
  [[maybe_unused]] const ssize_t written = ::write(write_end, &byte, 1);
  errno = saved_errno;
}

// Every signal that can be caught and whose default is to end the process. Left out are
// the ones the program's own faults raise (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS)
// and a debugger's SIGTRAP: after those the code cannot be trusted to run an orderly stop,
// and a core dump says more.
std::vector<int> StopSignalNumbers() {
  std::vector<int> numbers = {SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,
                              SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ};
#ifdef SIGPOLL
  // SIGIO under its System V name: the BSDs, which lack that name, ignore SIGIO by default.
  numbers.push_back(SIGPOLL);
#endif
#ifdef SIGPWR
  numbers.push_back(SIGPWR);
#endif
#ifdef SIGSTKFLT
  numbers.push_back(SIGSTKFLT);
#endif
#ifdef SIGRTMIN
  for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) numbers.push_back(number);
#endif
  return numbers;
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
  auto install = [this](int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    Previous previous{.signal = signal, .action = {}};
    if (sigaction(signal, &action, &previous.action) == 0) previous_.push_back(previous);
  };
  for (const int signal : StopSignalNumbers()) install(signal, OnSignal);
  install(SIGPIPE, SIG_IGN);
}

StopSignals::~StopSignals() {
  if (pipe_[0] < 0) return;
  for (const Previous& previous : previous_) sigaction(previous.signal, &previous.action, nullptr);
  write_end = -1;
  notifier_.reset();
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}

}  // namespace kline
