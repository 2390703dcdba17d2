// kline-sim: the simulated ECU on a pseudo-terminal. Prints the slave's path as its first
// line, then serves it in real time and takes commands on standard input, one a line.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "sim/profile.h"
#include "sim/pty_ecu_server.h"

namespace {

constexpr char kUsage[] =
    "usage: kline-sim [--type 15m|15Rc|16m|P8] [--profile FILE] [--trace FILE]\n"
    "                 [--ignition-delay MS]\n"
    "commands on standard input: ignition on|off, set RR VV, fault KIND [ARG],\n"
    "  fault clear, status, quit\n"
    "fault kinds: silent, no-echo, stray, drop, late, extra, garbage, ignition-off, cable, rate\n";

struct Arguments {
  kline::EcuType type = kline::EcuType::k15m;
  std::string profile_path;
  kline::sim::PtyEcuServer::Options options;
};

std::optional<Arguments> Parse(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--help" || flag == "-h" || i + 1 >= argc) return std::nullopt;
    const std::string value = argv[++i];
    if (flag == "--type") {
      const std::optional<kline::EcuType> type = kline::EcuTypeFromName(value);
      if (!type) return std::nullopt;
      arguments.type = *type;
    } else if (flag == "--profile") {
      arguments.profile_path = value;
    } else if (flag == "--trace") {
      arguments.options.trace_path = value;
    } else if (flag == "--ignition-delay") {
      char* end = nullptr;
      const long ms = std::strtol(value.c_str(), &end, 10);
      if (end == value.c_str() || *end != '\0' || ms > 3600000 || ms < -1) return std::nullopt;
      arguments.options.ignition_delay_ms = static_cast<int>(ms);
    } else {
      return std::nullopt;
    }
  }
  return arguments;
}

// Reads standard input line by line while watching for the stop signals.
class Console {
 public:
  explicit Console(int signal_fd) : signal_fd_(signal_fd) {}
  // The next line; nullopt at end of input or on a stop signal.
  std::optional<std::string> NextLine() {
    while (true) {
      const size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signal_fd_, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) return std::nullopt;
      if (fds[1].revents != 0) return std::nullopt;
      char chunk[256];
      const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
      if (n <= 0) {
        if (buffer_.empty()) return std::nullopt;
        return std::exchange(buffer_, {});
      }
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

 private:
  int signal_fd_;
  std::string buffer_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Arguments> arguments = Parse(argc, argv);
  if (!arguments) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  kline::sim::Profile profile;
  if (arguments->profile_path.empty()) {
    profile = kline::sim::BuiltinProfile(arguments->type);
  } else {
    std::string error;
    std::optional<kline::sim::Profile> loaded =
        kline::sim::LoadProfile(QString::fromStdString(arguments->profile_path), &error);
    if (!loaded) {
      std::fprintf(stderr, "kline-sim: %s\n", error.c_str());
      return 1;
    }
    profile = std::move(*loaded);
  }

  // The stop signals are taken as events by the console, in every thread.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  const int signal_fd = signalfd(-1, &stop_signals, SFD_CLOEXEC);
  // A reader of standard output that goes away must not kill the server.
  signal(SIGPIPE, SIG_IGN);

  kline::sim::PtyEcuServer server(std::move(profile), arguments->options);
  std::string error;
  if (signal_fd < 0 || !server.Start(&error)) {
    std::fprintf(stderr, "kline-sim: %s\n", signal_fd < 0 ? std::strerror(errno) : error.c_str());
    return 1;
  }
  std::printf("%s\n", server.slave_path().c_str());
  std::fflush(stdout);

  Console console(signal_fd);
  while (const std::optional<std::string> line = console.NextLine()) {
    if (line->find_first_not_of(" \t\r") == std::string::npos) continue;
    bool quit = false;
    std::printf("%s\n", server.Execute(*line, &quit).c_str());
    std::fflush(stdout);
    if (quit) break;
  }
  server.Stop();
  close(signal_fd);
  return 0;
}
