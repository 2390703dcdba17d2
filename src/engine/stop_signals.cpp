#include "engine/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <vector>

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

struct StopSignals::Handlers {
  struct Previous {
    int signal;
    struct sigaction action;
  };

  int pipe[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier;
  std::vector<Previous> previous;
};

StopSignals::StopSignals() : handlers_(std::make_unique<Handlers>()) {
  int* pipe = handlers_->pipe;
  if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  write_end = pipe[1];
  handlers_->notifier = std::make_unique<QSocketNotifier>(pipe[0], QSocketNotifier::Read);
  connect(handlers_->notifier.get(), &QSocketNotifier::activated, this, [this, pipe] {
    char bytes[16];
    while (::read(pipe[0], bytes, sizeof bytes) > 0) {
    }
    emit Received();
  });
  auto install = [this](int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    Handlers::Previous previous{.signal = signal, .action = {}};
    if (sigaction(signal, &action, &previous.action) == 0) {
      handlers_->previous.push_back(previous);
    }
  };
  for (const int signal : StopSignalNumbers()) install(signal, OnSignal);
  install(SIGPIPE, SIG_IGN);
}

StopSignals::~StopSignals() {
  int* pipe = handlers_->pipe;
  if (pipe[0] < 0) return;
  for (const Handlers::Previous& previous : handlers_->previous) {
    sigaction(previous.signal, &previous.action, nullptr);
  }
  write_end = -1;
  handlers_->notifier.reset();
  ::close(pipe[0]);
  ::close(pipe[1]);
}

}  // namespace kline
