// The serial port that carries the K-line: opens it at the start-up settings, switches its
// rate, writes single bytes, counts and hands over what was received, and waits for a
// reply with a bound on a millisecond clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/serial_device.h"
#include "link/wire_stop.h"
#include "link/wire_tap.h"

namespace kline {

// The working rate of the fast ECU types: 7812.5 baud rounded half to even.
extern const int32_t kWorkingBaud;
inline constexpr int32_t kStartBaud = 1200;

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
  bool WaitForCountTimed(int n, int64_t limit_ms, PollPause pause);
  static std::string ToReplyHex(const Bytes& bytes);
  ExchangeResult ExchangeByte(const Exchange& exchange);

  // The rate the port runs at now (the start rate until a switch succeeds).
  int32_t baud() const { return baud_; }
  // Every byte written and received is also reported to `tap` (none: nullptr).
  void SetTap(WireTap* tap) { tap_ = tap; }
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
  PortError last_error_;
  std::string open_problem_;
};

}  // namespace kline
