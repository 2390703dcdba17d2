// kline-sim: the simulated ECU on a pseudo-terminal. Prints the slave's path as its first
// line, then serves it in real time and takes commands on standard input, one a line.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "link/trace_reader.h"
#include "sim/profile.h"
#include "sim/pty_ecu_server.h"
#include "sim/replay_ecu.h"

namespace {

constexpr char kUsage[] =
    "usage: kline-sim [--type 15m|15Rc|16m|P8] [--profile FILE] [--trace FILE]\n"
    "                 [--ignition-delay MS] [--replay FILE [--loop]]\n"
    "commands on standard input: ignition on|off, set RR VV, fault KIND [ARG],\n"
    "  fault clear, status, quit\n"
    "fault kinds: silent, no-echo, stray, drop, late, extra, garbage, ignition-off, cable, rate\n";

struct Arguments {
  std::optional<kline::EcuType> type;
  std::string profile_path;
  std::string replay_path;
  bool loop = false;
  bool ignition_delay_given = false;
  kline::sim::PtyEcuServer::Options options;
};

std::optional<Arguments> Parse(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--loop") {
      arguments.loop = true;
      continue;
    }
    if (flag == "--help" || flag == "-h" || i + 1 >= argc) return std::nullopt;
    const std::string value = argv[++i];
    if (flag == "--type") {
      const std::optional<kline::EcuType> type = kline::EcuTypeFromName(value);
      if (!type) return std::nullopt;
      arguments.type = *type;
    } else if (flag == "--profile") {
      arguments.profile_path = value;
    } else if (flag == "--replay") {
      arguments.replay_path = value;
    } else if (flag == "--trace") {
      arguments.options.trace_path = value;
    } else if (flag == "--ignition-delay") {
      char* end = nullptr;
      const long ms = std::strtol(value.c_str(), &end, 10);
      if (end == value.c_str() || *end != '\0' || ms > 3600000 || ms < -1) return std::nullopt;
      arguments.options.ignition_delay_ms = static_cast<int>(ms);
      arguments.ignition_delay_given = true;
    } else {
      return std::nullopt;
    }
  }
  // A replay plays what the recording has; a profile would have nothing to say.
  if (arguments.replay_path.empty() ? arguments.loop : !arguments.profile_path.empty()) {
    return std::nullopt;
  }
  return arguments;
}

// The ECU the arguments ask for: a built-in profile, a profile file or a replayed trace.
std::unique_ptr<kline::sim::PtyEcuServer> MakeServer(Arguments arguments, std::string* error) {
  using kline::sim::PtyEcuServer;
  if (!arguments.replay_path.empty()) {
    const std::optional<kline::TraceFile> trace = kline::LoadTrace(arguments.replay_path, error);
    if (!trace) return nullptr;
    kline::sim::ReplayEcu::Options replay{
        .loop = arguments.loop, .report = [](const std::string& text) {
          std::fprintf(stderr, "kline-sim: replay: %s\n", text.c_str());
        }};
    std::unique_ptr<kline::sim::ReplayEcu> ecu = kline::sim::ReplayEcu::FromTrace(
        *trace, arguments.type.value_or(trace->type.value_or(kline::EcuType::k15m)),
        std::move(replay), error);
    if (!ecu) {
      *error = arguments.replay_path + ": " + *error;
      return nullptr;
    }
    // The recorded times already hold the moment of key-on.
    if (!arguments.ignition_delay_given) arguments.options.ignition_delay_ms = 0;
    return std::make_unique<PtyEcuServer>(std::move(ecu), arguments.options);
  }
  std::optional<kline::sim::Profile> profile =
      arguments.profile_path.empty()
          ? kline::sim::BuiltinProfile(arguments.type.value_or(kline::EcuType::k15m))
          : kline::sim::LoadProfile(QString::fromStdString(arguments.profile_path), error);
  if (!profile) return nullptr;
  // An ECU that is never woken (the P8) is asked at once; a mechanic switches its ignition on
  // before connecting.
  if (!arguments.ignition_delay_given && !profile->needs_wake_up) {
    arguments.options.ignition_delay_ms = 0;
  }
  return std::make_unique<PtyEcuServer>(std::move(*profile), arguments.options);
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
  std::string error;
  const std::unique_ptr<kline::sim::PtyEcuServer> server = MakeServer(*arguments, &error);
  if (!server) {
    std::fprintf(stderr, "kline-sim: %s\n", error.c_str());
    return 1;
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

  if (signal_fd < 0 || !server->Start(&error)) {
    std::fprintf(stderr, "kline-sim: %s\n", signal_fd < 0 ? std::strerror(errno) : error.c_str());
    return 1;
  }
  std::printf("%s\n", server->slave_path().c_str());
  std::fflush(stdout);

  Console console(signal_fd);
  while (const std::optional<std::string> line = console.NextLine()) {
    if (line->find_first_not_of(" \t\r") == std::string::npos) continue;
    bool quit = false;
    std::printf("%s\n", server->Execute(*line, &quit).c_str());
    std::fflush(stdout);
    if (quit) break;
  }
  server->Stop();
  close(signal_fd);
  return 0;
}
