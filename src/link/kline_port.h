// The serial port that carries the K-line: opens it at the start-up settings, switches its
// rate, writes single bytes, counts and hands over what was received, and waits for a
// reply with a bound on a millisecond clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/clock.h"
#include "link/protocol.h"
#include "link/serial_device.h"
#include "link/wire_stop.h"
#include "link/wire_tap.h"

namespace kline {

// A request waits at most this long for a quiet line before it gives up on going out.
inline constexpr int64_t kQuietLineBoundMs = 1000;

// How a clock-bounded wait sleeps between two looks at the receive count.
enum class PollPause {
  k3ms,         // sample the clock, sleep 3 ms
  k3msThen1ms,  // sample the clock, sleep 3 ms, sleep 1 ms
  k1msAround3,  // sleep 1 ms, sample the clock, sleep 3 ms
};

// The error record a failed rate switch leaves behind; never shown, never thrown.
struct PortError {
  int number = 0;
  std::string description;
  std::string source;
};

// One single-byte request and what to do around it.
struct Exchange {
  uint8_t request = 0;
  int count = 2;  // bytes to wait for, echo included
  int64_t limit_ms = 2000;
  PollPause pause = PollPause::k3ms;
  int64_t pause_first_ms = 0;
  bool check_echo = true;
};

struct ExchangeResult {
  bool timed_out = false;
  std::string reply_hex;  // everything read, as ReplyHex
  std::string answer;     // behind the echo; empty when invalid or missing
};

class KLinePort {
 public:
  KLinePort(SerialDevice& device, Clock& clock);

  // Opens the port named by the "Com" field text (a number or a device path) at
  // "1200,n,8,1" with DTR and RTS on. Failures are swallowed; IsOpen tells.
  void Open(const std::string& port_field);
  bool IsOpen() const;
  // Why the last Open failed, in a sentence for the status bar; empty when it opened.
  const std::string& OpenProblem() const { return open_problem_; }
  // Lets what was written leave the port first, so that the last byte is not cut.
  void Close();
  // Lets what was written leave the port at the old rate first.
  void SetBaudRate(int32_t baud);
  void Flush();
  void WriteByte(int value);
  int PendingCount();
  Bytes ReadAll();
  bool LastEventWasReceive();
  bool WasLost() const;
  // Polls until n bytes wait or more than limit_ms have passed since the call; the clock is
  // sampled before each sleep, so a time-out comes at most one poll pause after the bound.
  // With `echo`, the n bytes are counted from the echo of the request on: whatever came
  // before it (a stray byte from the interface, the tail of an earlier answer) is no part of
  // this reply and is thrown away once the echo is in. Without any echo the first bytes count
  // as they are, so that a missing or garbled echo shows as such.
  bool WaitForCountTimed(int n, int64_t limit_ms, PollPause pause,
                         std::optional<uint8_t> echo = std::nullopt);
  // The one way a request goes out: once nothing has been on the line for `pause_ms` (from
  // the end of the last byte, whoever sent it; a byte that arrives meanwhile starts the pause
  // again), the receive buffer is emptied and the byte written. Its answer is then due for
  // `answer_bound_ms` (0: none is waited for). A line that does not fall quiet within
  // kQuietLineBoundMs is not talked into: false, nothing sent.
  bool SendRequest(uint8_t request, int64_t pause_ms, int64_t answer_bound_ms);
  // After a stop cut the wait for an answer: waits for that answer to come in full, or for its
  // bound to pass, and throws it away, so that the next request does not meet it on the line.
  void AwaitDueAnswer();
  // Bytes that came while nothing waited for them (thrown away before a request; not those
  // before an echo), counted since the last call.
  int TakeUnaskedCount() { return std::exchange(unasked_, 0); }
  static std::string ToReplyHex(const Bytes& bytes);
  ExchangeResult ExchangeByte(const Exchange& exchange);

  // The rate the port runs at now (the start rate until a switch succeeds).
  int32_t baud() const { return baud_; }
  // Every byte written and received is also reported to `tap` (none: nullptr).
  void SetTap(WireTap* tap) { tap_ = tap; }
  // When the oldest byte seen waiting but not yet read (and so not yet reported to the tap)
  // was first seen; none when every byte seen has been read.
  std::optional<int64_t> FirstUnreadUs() const {
    if (seen_.empty()) return std::nullopt;
    return seen_.front().time_us;
  }
  // The stop that the clock's pauses obey (none: nullptr); routines that must finish their
  // exchange whatever happens (leaving diagnostic mode) open an EndingScope on it.
  void SetStop(WireStop* stop) { stop_ = stop; }
  WireStop* stop() const { return stop_; }
  // Lets what was written leave the port, then waits until nothing has arrived for `quiet_ms`
  // or `limit_ms` have passed: an answer still on its way must not meet the next request.
  void WaitForQuiet(int64_t quiet_ms, int64_t limit_ms);

  const PortError& LastError() const { return last_error_; }
  Clock& clock() { return clock_; }
  SerialDevice& device() { return device_; }

 private:
  void Record(int number, const char* description);
  // Moves what the device holds into held_, each byte reported to the tap.
  void PullIntoHeld();

  // A request whose answer has not come yet.
  struct Due {
    int count = 0;
    std::optional<uint8_t> echo;
    int64_t deadline_us = 0;
  };

  SerialDevice& device_;
  Clock& clock_;
  WireTap* tap_ = nullptr;
  WireStop* stop_ = nullptr;
  int32_t baud_ = kStartBaud;
  // When each byte waiting in the device was first seen, and the rate then, for the tap.
  struct Seen {
    int64_t time_us;
    int32_t baud;
  };
  std::vector<Seen> seen_;
  // Bytes already taken from the device while looking for an echo, not yet handed out.
  Bytes held_;
  // When the line last carried a byte: the end of the PC's last byte, or the moment the last
  // received byte was first seen (never before its end).
  int64_t line_busy_until_us_ = 0;
  std::optional<Due> due_;
  int unasked_ = 0;
  // Bytes at the front of the receive buffer that a timed-out wait had already seen.
  int claimed_ = 0;
  // Bytes nobody asked for were thrown away since the last answer came: more may follow.
  bool unasked_traffic_ = false;
  PortError last_error_;
  std::string open_problem_;
};

}  // namespace kline
