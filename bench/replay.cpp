// How true a replay is on the pseudo-terminal, in real time. A live session against the
// simulator is recorded in its trace; a plain reader then plays the PC's side of that trace
// against the replay, stamping every byte as it arrives, and prints how far each replayed
// answer's delay after its request strays from the recorded one. Then the session runs against
// the replay as against the simulator, and both live cycles are printed against the floor
// their pauses set.
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_rig.h"
#include "link/trace_reader.h"

namespace kline::bench {
namespace {

constexpr int kCycles = 40;

struct Session {
  double cycle_ms = 0;
  int32_t baud = 0;
};

bool RunSession(EcuType type, std::unique_ptr<sim::PtyEcuServer> server, Session* session) {
  BenchRig rig(type, std::move(server));
  if (!rig.ok() || !rig.ConnectAndReachPolling()) return false;
  const int64_t start_us = rig.clock().NowUs();
  for (int i = 0; i < kCycles; ++i) rig.TimerTick();
  session->cycle_ms = (rig.clock().NowUs() - start_us) / 1000.0 / kCycles;
  session->baud = rig.port().device().ReadLineSettings()->baud;
  return true;
}

// Raw, at any rate (the working rates are not standard ones).
bool SetRate(int fd, int32_t baud) {
  struct termios2 tio {};
  tio.c_cflag = BOTHER | CS8 | CREAD | CLOCAL;
  tio.c_ispeed = static_cast<speed_t>(baud);
  tio.c_ospeed = static_cast<speed_t>(baud);
  return ioctl(fd, TCSETS2, &tio) == 0;
}

// The PC's side of `trace` played at its recorded pace; for each request answered in the
// recording, the replayed delay (from writing it to the answer's start) minus the recorded one.
std::vector<double> PlayPcSide(const TraceFile& trace, const std::string& path) {
  std::vector<double> errors_us;
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errors_us;
  SteadyClock clock;
  int32_t baud = trace.rows.empty() ? 1200 : trace.rows.front().entry.baud;
  SetRate(fd, baud);
  const int64_t opened_us = clock.NowUs();
  std::vector<int64_t> arrivals_us;  // every byte read, stamped
  const auto read_until = [&](int64_t until_us) {
    for (int64_t now = clock.NowUs(); now < until_us; now = clock.NowUs()) {
      pollfd watch{fd, POLLIN, 0};
      poll(&watch, 1, static_cast<int>((until_us - now + 999) / 1000));
      uint8_t bytes[64];
      const ssize_t n = read(fd, bytes, sizeof bytes);
      for (ssize_t i = 0; i < n; ++i) arrivals_us.push_back(clock.NowUs());
    }
  };
  for (size_t r = 0; r < trace.rows.size(); ++r) {
    const TraceEntry& pc = trace.rows[r].entry;
    if (pc.dir != TraceEntry::Dir::kPcSent) continue;
    read_until(opened_us + pc.time_us - trace.rows.front().entry.time_us);
    // The recorded answer: the first ECU byte after this request, before the next one.
    const TraceEntry* answer = nullptr;
    for (size_t a = r + 1; a < trace.rows.size(); ++a) {
      const TraceEntry& e = trace.rows[a].entry;
      if (e.dir == TraceEntry::Dir::kPcSent) break;
      if (e.dir == TraceEntry::Dir::kEcuSent) {
        answer = &e;
        break;
      }
    }
    if (pc.baud != baud && SetRate(fd, pc.baud)) baud = pc.baud;
    const size_t before = arrivals_us.size();
    const int64_t written_us = clock.NowUs();
    if (write(fd, &pc.byte, 1) != 1) break;
    // Its echo, then the answer.
    read_until(written_us + (answer ? answer->time_us - pc.time_us : 0) + 30'000);
    if (answer && arrivals_us.size() >= before + 2) {
      const int64_t replayed = arrivals_us[before + 1] - written_us - ByteTimeUs(answer->baud);
      errors_us.push_back(std::abs(static_cast<double>(replayed - (answer->time_us - pc.time_us))));
    }
  }
  close(fd);
  return errors_us;
}

}  // namespace

int Run() {
  QTemporaryDir dir;
  std::printf("%-5s %8s %10s %10s %10s %12s %12s\n", "type", "answers", "median us", "p95 us",
              "max us", "sim ratio", "replay ratio");
  for (EcuType type : kAllEcuTypes) {
    const std::string path = dir.filePath(QStringLiteral("recorded.csv")).toStdString();
    sim::PtyEcuServer::Options options;
    options.ignition_delay_ms = 0;
    options.trace_path = path;
    Session recorded;
    Session replayed;
    std::string error;
    if (!RunSession(type, std::make_unique<sim::PtyEcuServer>(sim::BuiltinProfile(type), options),
                    &recorded)) {
      std::fprintf(stderr, "%s: the simulator's session did not reach live data\n",
                   EcuTypeName(type).data());
      return 1;
    }
    options.trace_path.clear();
    const std::optional<TraceFile> trace = LoadTrace(path, &error);
    std::unique_ptr<sim::PtyEcuServer> reader_side =
        trace ? sim::StartReplayServer(*trace, type, {}, &error) : nullptr;
    if (!reader_side) {
      std::fprintf(stderr, "%s: cannot replay: %s\n", EcuTypeName(type).data(), error.c_str());
      return 1;
    }
    const std::vector<double> errors_us = PlayPcSide(*trace, reader_side->slave_path());
    const Stats stats = Summarise(errors_us);
    reader_side->Stop();
    std::unique_ptr<sim::ReplayEcu> ecu = sim::ReplayEcu::FromTrace(*trace, type, {}, &error);
    if (!ecu || !RunSession(type, std::make_unique<sim::PtyEcuServer>(std::move(ecu), options),
                            &replayed)) {
      std::fprintf(stderr, "%s: the session against the replay did not reach live data\n",
                   EcuTypeName(type).data());
      return 1;
    }
    std::printf("%-5s %8zu %10.0f %10.0f %10.0f %12.3f %12.3f\n", EcuTypeName(type).data(),
                errors_us.size(), stats.median, stats.p95, stats.max,
                recorded.cycle_ms / FloorMs(recorded.baud),
                replayed.cycle_ms / FloorMs(replayed.baud));
  }
  return 0;
}

}  // namespace kline::bench

int main(int argc, char** argv) {
  return kline::bench::WithApplication(argc, argv, kline::bench::Run);
}
