#include "service/cable_check.h"

#include <algorithm>

namespace kline {

namespace {

// Long enough for a byte to cross a USB adapter that holds it back for its latency timer.
constexpr int64_t kEchoBoundMs = 100;
// Bytes that come before anything is sent: an ECU or a tester already talking.
constexpr int64_t kListenMs = 40;
// After the echoes: how long the line must stay silent before the rate is judged.
constexpr int64_t kQuietMs = 20;
constexpr int64_t kQuietBoundMs = 150;
// Echoes this late after the last byte sent, at the working rate, where the wire itself takes
// under 4 ms: a USB adapter holds received bytes for its latency timer (16 ms by default).
constexpr int64_t kLateEchoMs = 10;

enum class RateOutcome { kClean, kSilent, kGarbled, kExtra };

// `echo_ms`: from the last byte sent to the last echo seen.
RateOutcome SendPattern(KLinePort& port, int32_t baud, int64_t* echo_ms) {
  port.SetBaudRate(baud);
  for (uint8_t byte : kCablePattern) port.WriteByte(byte);
  const int64_t sent_ms = port.clock().NowMs();
  port.WaitForCountTimed(static_cast<int>(kCablePattern.size()), kEchoBoundMs, PollPause::k3ms);
  *echo_ms = port.clock().NowMs() - sent_ms;
  port.WaitForQuiet(kQuietMs, kQuietBoundMs);
  const Bytes heard = port.ReadAll();
  if (heard.empty()) return RateOutcome::kSilent;
  if (heard.size() > kCablePattern.size()) return RateOutcome::kExtra;
  if (std::equal(heard.begin(), heard.end(), kCablePattern.begin(), kCablePattern.end())) {
    return RateOutcome::kClean;
  }
  return RateOutcome::kGarbled;
}

// The pattern goes out at both rates an ECU talks at, the start rate first.
constexpr std::array<int32_t, 2> kRates = {kStartBaud, kWorkingBaud};

std::string RatesNotClean(const std::array<RateOutcome, 2>& outcomes) {
  std::string rates;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    if (outcomes[i] == RateOutcome::kClean) continue;
    if (!rates.empty()) rates += " and ";
    rates += std::to_string(kRates[i]);
  }
  return rates;
}

CableCheckResult Judge(const std::array<RateOutcome, 2>& outcomes, bool heard_first,
                       int64_t working_echo_ms) {
  const auto all = [&](RateOutcome o) {
    return std::all_of(outcomes.begin(), outcomes.end(), [o](RateOutcome x) { return x == o; });
  };
  const auto any = [&](RateOutcome o) {
    return std::any_of(outcomes.begin(), outcomes.end(), [o](RateOutcome x) { return x == o; });
  };
  if (heard_first || any(RateOutcome::kExtra)) {
    return {CableVerdict::kExtraBytes,
            "Bytes came back that are not echoes: something else is talking on the line (the "
            "ignition is on and the ECU is sending, or a second tester is connected)."};
  }
  if (all(RateOutcome::kSilent)) {
    return {CableVerdict::kNoEcho,
            "No echo at all: the interface has no power or is not plugged in, or this is "
            "another port."};
  }
  if (all(RateOutcome::kClean)) {
    std::string sentence = "The interface echoes correctly at " + std::to_string(kRates[0]) +
                           " and " + std::to_string(kRates[1]) + " baud.";
    if (working_echo_ms >= kLateEchoMs) {
      sentence += " But the echoes came back " + std::to_string(working_echo_ms) +
                  " ms late: the USB adapter holds bytes for its latency timer, which slows "
                  "live data. Set the timer to 1 ms (on Windows: Device Manager, the port's "
                  "Properties, Port Settings, Advanced, Latency Timer).";
    }
    return {CableVerdict::kEchoOk, sentence};
  }
  return {CableVerdict::kEchoGarbled,
          "The echo is garbled or missing at " + RatesNotClean(outcomes) +
              " baud: the adapter cannot work at that rate, or the interface is faulty."};
}

}  // namespace

CableCheckResult CheckCable(KLinePort& port, const std::string& port_field) {
  if (port.IsOpen()) {
    return {CableVerdict::kNotOpened, "The port is in use by the session: disconnect first."};
  }
  port.Open(port_field);
  if (!port.IsOpen()) {
    const std::string reason = port.OpenProblem().empty()
                                   ? "Port " + port_field + " could not be opened."
                                   : port.OpenProblem();
    return {CableVerdict::kNotOpened, "The port did not open. " + reason};
  }
  port.clock().SleepMs(kListenMs);
  const bool heard_first = !port.ReadAll().empty();
  std::array<RateOutcome, 2> outcomes{};
  std::array<int64_t, 2> echo_ms{};
  for (size_t i = 0; i < outcomes.size(); ++i) {
    outcomes[i] = SendPattern(port, kRates[i], &echo_ms[i]);
  }
  const bool lost = port.WasLost() || !port.IsOpen();
  port.Close();
  if (lost) {
    return {CableVerdict::kPortLost,
            "The port went away during the check: the adapter was unplugged or the cable "
            "pulled."};
  }
  return Judge(outcomes, heard_first, echo_ms[1]);
}

}  // namespace kline
