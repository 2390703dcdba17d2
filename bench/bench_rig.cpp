#include "bench_rig.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace kline::bench {

void RecordingClock::SleepUs(int64_t us) {
  const int64_t start = real_.NowUs();
  real_.SleepUs(us);
  sleeps_.push_back({us, real_.NowUs() - start});
}

namespace {

std::unique_ptr<sim::PtyEcuServer> ProfileServer(EcuType type, int latency_us) {
  sim::Profile profile = sim::BuiltinProfile(type);
  profile.latency_us = latency_us;
  sim::PtyEcuServer::Options options;
  options.ignition_delay_ms = 0;
  return std::make_unique<sim::PtyEcuServer>(profile, options);
}

}  // namespace

BenchRig::BenchRig(EcuType type, int latency_us)
    : BenchRig(type, ProfileServer(type, latency_us)) {}

BenchRig::BenchRig(EcuType type, std::unique_ptr<sim::PtyEcuServer> server)
    : server_(std::move(server)),
      ini_(dir_.path() + "/bench.ini"),
      port_(device_, clock_),
      driver_(port_, panel_, ini_) {
  std::string error;
  ok_ = server_->Start(&error);
  if (!ok_) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    return;
  }
  panel_.type = type;
  panel_.port_field = server_->slave_path();
  driver_.SetDecimalSeparator('.');
}

BenchRig::~BenchRig() {
  if (port_.IsOpen()) driver_.OnConnectBox(false);
  if (server_) server_->Stop();
}

bool BenchRig::ConnectAndReachPolling() {
  panel_.connect_ticked = true;
  driver_.OnConnectBox(true);
  if (!port_.IsOpen()) return false;
  // A P8 connection starts with two channels; the measurement wants all nine.
  for (int i = 0; i < kChannelCount; ++i) panel_.SetChannelTicked(i, true);
  const int64_t give_up = clock_.NowMs() + 20000;
  while (!driver_.cal_ask() && clock_.NowMs() < give_up) TimerTick();
  return driver_.cal_ask();
}

void BenchRig::TimerTick() {
  if (panel_.timer() <= 0) return;
  clock_.SleepMs(panel_.timer());
  driver_.Tick();
}

double FloorMs(int32_t baud) {
  constexpr int kRequestsPerCycle = 11;  // nine channels, two of them two bytes long
  constexpr double kPollPauseMs = 3;
  const double reply_ms = 2 * 10 * 1000.0 / baud;
  const double wait_ms = std::ceil(reply_ms / kPollPauseMs) * kPollPauseMs;
  return 50 + 5 + 8 + kRequestsPerCycle * (8 + wait_ms);
}

Stats Summarise(std::vector<double> values) {
  Stats stats;
  if (values.empty()) return stats;
  std::sort(values.begin(), values.end());
  stats.mean = std::accumulate(values.begin(), values.end(), 0.0) / values.size();
  stats.median = values[values.size() / 2];
  stats.p95 = values[std::min(values.size() - 1, values.size() * 95 / 100)];
  stats.max = values.back();
  return stats;
}

int WithApplication(int argc, char** argv, int (*run)()) {
  QCoreApplication app(argc, argv);
  return run();
}

}  // namespace kline::bench
