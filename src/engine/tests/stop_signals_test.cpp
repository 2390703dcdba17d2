// Each signal that would otherwise end the program is a stop, twice over: the program lives
// on to leave the ECU properly.
#include "engine/stop_signals.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <csignal>

namespace kline {
namespace {

TEST(StopSignals, EverySignalThatEndsTheProgramIsAStop) {
  struct Case {
    const char* name;
    int signal;
  };
  const Case cases[] = {
      {"SIGINT", SIGINT},     {"SIGTERM", SIGTERM},     {"SIGHUP", SIGHUP},
      {"SIGQUIT", SIGQUIT},   {"SIGUSR1", SIGUSR1},     {"SIGUSR2", SIGUSR2},
      {"SIGALRM", SIGALRM},   {"SIGVTALRM", SIGVTALRM}, {"SIGPROF", SIGPROF},
      {"SIGXCPU", SIGXCPU},   {"SIGXFSZ", SIGXFSZ},     {"SIGPOLL", SIGPOLL},
      {"SIGPWR", SIGPWR},     {"SIGSTKFLT", SIGSTKFLT}, {"SIGRTMIN", SIGRTMIN},
      {"SIGRTMAX", SIGRTMAX},
  };
  StopSignals stops;
  QSignalSpy received(&stops, &StopSignals::Received);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The second one arrives while the program is stopping.
    for (int time = 0; time < 2; ++time) {
      received.clear();
      ASSERT_EQ(std::raise(c.signal), 0);
      EXPECT_TRUE(received.wait(2000));
    }
  }
}

}  // namespace
}  // namespace kline
