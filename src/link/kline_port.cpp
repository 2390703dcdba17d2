#include "link/kline_port.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "link/port_name.h"
#include "link/trace.h"

#ifdef _WIN32
// windows.h first: the multimedia header needs its types.
// clang-format off
#include <windows.h>
#include <timeapi.h>
// clang-format on
#endif

namespace kline {

namespace {

constexpr char kPortSource[] = "MSComm1";
// Beyond a byte time at the start rate, before a request follows unasked traffic.
constexpr int64_t kQuietMarginUs = 1000;

std::string DescribeOpenFailure(OpenFailure failure, const std::string& path) {
  switch (failure) {
    case OpenFailure::kNone:
      return {};
    case OpenFailure::kNoSuchPort:
      return "Port " + path + " does not exist.";
    case OpenFailure::kPermission:
      return "No permission to open " + path +
             ": add your user to the dialout group (sudo adduser $USER dialout), then log in "
             "again.";
    case OpenFailure::kBusy:
      return "Port " + path + " is in use by another program.";
    case OpenFailure::kNameTooLong:
      return "The port name is " + std::to_string(path.size()) +
             " characters long: no device has such a name. Give a number or " + OtherPortNames() +
             ".";
    case OpenFailure::kFolder:
      return path + " is a folder, not a serial port.";
    case OpenFailure::kPlainFile:
      return path + " is an ordinary file, not a serial port.";
    case OpenFailure::kNotATerminal:
      return path + " is a device but not a serial port.";
    case OpenFailure::kOther:
      break;
  }
  return "Port " + path + " could not be opened.";
}

// While a port is open, Windows must wake sleepers every millisecond or every 3 ms poll
// becomes a 15.6 ms one.
void RaiseTimerResolution(bool raise) {
#ifdef _WIN32
  if (raise) {
    timeBeginPeriod(1);
  } else {
    timeEndPeriod(1);
  }
#else
  (void)raise;
#endif
}

}  // namespace

KLinePort::KLinePort(SerialDevice& device, Clock& clock) : device_(device), clock_(clock) {}

void KLinePort::Open(const std::string& port_field) {
  open_problem_.clear();
  const std::optional<std::string> path = PortPath(port_field);
  device_.SetDtr(true);
  device_.SetRts(true);
  if (!path) {
    open_problem_ = "\"" + port_field + "\" is not a serial port: give a number from 1 to " +
                    std::to_string(kMaxPortNumber) + " or " + OtherPortNames() + ".";
    return;
  }
  if (device_.IsOpen()) return;
  if (device_.Open(*path, LineSettings{})) {
    RaiseTimerResolution(true);
    baud_ = kStartBaud;
    seen_.clear();
    held_.clear();
    due_.reset();
    unasked_ = 0;
    claimed_ = 0;
    unasked_traffic_ = false;
    line_busy_until_us_ = clock_.NowUs();
    if (tap_) tap_->OnOpened(clock_.NowUs(), baud_);
  } else {
    open_problem_ = DescribeOpenFailure(device_.LastOpenFailure(), *path);
  }
}

bool KLinePort::IsOpen() const { return device_.IsOpen(); }

void KLinePort::Close() {
  if (!device_.IsOpen()) return;
  device_.Drain();
  Flush();
  device_.Close();
  RaiseTimerResolution(false);
  if (tap_) tap_->OnClosed(clock_.NowUs());
}

void KLinePort::Record(int number, const char* description) {
  last_error_ = PortError{number, description, kPortSource};
}

void KLinePort::SetBaudRate(int32_t baud) {
  if (!device_.IsOpen()) {
    Record(8018, "Operation valid only when the port is open");
    return;
  }
  std::optional<LineSettings> state = device_.ReadLineSettings();
  if (!state) {
    Record(8021, "Could not read current state of the port");
    return;
  }
  state->baud = baud;
  device_.Drain();
  if (!device_.WriteLineSettings(*state)) {
    Record(8015, "Could not set port to specified baud rate");
    return;
  }
  baud_ = baud;
}

void KLinePort::Flush() {
  const int claimed = std::exchange(claimed_, 0);
  const int unasked = std::max(0, static_cast<int>(ReadAll().size()) - claimed);
  unasked_ += unasked;
  if (unasked > 0) unasked_traffic_ = true;
}

void KLinePort::WriteByte(int value) {
  if (!device_.IsOpen()) return;
  const auto byte = static_cast<uint8_t>(value & 0xFF);
  const int64_t now = clock_.NowUs();
  if (tap_) tap_->OnSent(byte, now, baud_);
  device_.WriteByte(byte);
  line_busy_until_us_ = std::max(line_busy_until_us_, now) + ByteTimeUs(baud_);
}

int KLinePort::PendingCount() {
  if (!device_.IsOpen()) return 0;
  const int count = device_.PendingCount();
  if (count > static_cast<int>(seen_.size())) {
    const int64_t now = clock_.NowUs();
    seen_.resize(static_cast<size_t>(count), Seen{now, baud_});
    line_busy_until_us_ = std::max(line_busy_until_us_, now);
  }
  return static_cast<int>(held_.size()) + count;
}

void KLinePort::PullIntoHeld() {
  if (!device_.IsOpen()) return;
  const Bytes bytes = device_.ReadAll();
  const int64_t now = clock_.NowUs();
  for (size_t i = 0; i < bytes.size(); ++i) {
    const Seen seen = i < seen_.size() ? seen_[i] : Seen{now, baud_};
    if (tap_) tap_->OnReceived(bytes[i], seen.time_us, seen.baud);
    line_busy_until_us_ = std::max(line_busy_until_us_, seen.time_us);
  }
  seen_.clear();
  held_.insert(held_.end(), bytes.begin(), bytes.end());
}

Bytes KLinePort::ReadAll() {
  PullIntoHeld();
  claimed_ = 0;
  return std::exchange(held_, {});
}

bool KLinePort::LastEventWasReceive() { return device_.IsOpen() && device_.LastEventWasReceive(); }

bool KLinePort::WasLost() const { return device_.WasLost(); }

bool KLinePort::WaitForCountTimed(int n, int64_t limit_ms, PollPause pause,
                                  std::optional<uint8_t> echo) {
  // Microseconds, so that the bound is not stretched by a millisecond of rounding. A sample
  // past the bound ends the wait before its sleep: whatever the sleep would let arrive could
  // no longer count, so sleeping would only report the time-out later.
  const int64_t start = clock_.NowUs();
  const int64_t limit_us = limit_ms * 1000;
  // Kept if a stop cuts the wait, so that the ending knows an answer is still on its way.
  due_ = Due{n, echo, start + limit_us};
  const auto complete = [&] {
    if (PendingCount() < n) return false;
    if (!echo) return true;
    PullIntoHeld();
    const auto at = std::find(held_.begin(), held_.end(), *echo);
    if (at != held_.end()) held_.erase(held_.begin(), at);
    return static_cast<int>(held_.size()) >= n;
  };
  while (!complete()) {
    if (pause == PollPause::k1msAround3) clock_.SleepMs(1);
    const int64_t sample = clock_.NowUs();
    // A port that vanished will never fill up: give up now rather than at the bound.
    if (std::llabs(sample - start) > limit_us || device_.WasLost()) {
      due_.reset();
      // What did come (an echo without its answer) was asked for, not unasked traffic; it is
      // taken in now, so that whoever judges the failure sees that it came.
      PullIntoHeld();
      claimed_ = PendingCount();
      return false;
    }
    clock_.SleepMs(3);
    if (pause == PollPause::k3msThen1ms) clock_.SleepMs(1);
  }
  due_.reset();
  unasked_traffic_ = false;
  return true;
}

bool KLinePort::SendRequest(uint8_t request, int64_t pause_ms, int64_t answer_bound_ms) {
  if (!device_.IsOpen()) return false;
  const int64_t start = clock_.NowUs();
  int64_t pause_us = pause_ms * 1000;
  const int64_t busy_at_start = line_busy_until_us_;
  for (;;) {
    PendingCount();  // a byte that came during the pause is the line's latest traffic
    if (unasked_traffic_ || line_busy_until_us_ > std::max(start, busy_at_start)) {
      // Someone talks unasked, perhaps a stream of bytes at the slow rate, each of which is
      // seen only once it is in: the quiet must outlast such a byte, or the request would
      // start inside the next one.
      pause_us = std::max(pause_us, ByteTimeUs(kStartBaud) + kQuietMarginUs);
    }
    const int64_t now = clock_.NowUs();
    const int64_t due_at = std::max(start, line_busy_until_us_) + pause_us;
    if (now >= due_at) break;
    if (now - start > kQuietLineBoundMs * 1000) return false;
    clock_.SleepUs(due_at - now);
  }
  Flush();
  WriteByte(request);
  due_.reset();
  if (answer_bound_ms > 0) due_ = Due{2, request, clock_.NowUs() + answer_bound_ms * 1000};
  return true;
}

void KLinePort::AwaitDueAnswer() {
  const std::optional<Due> due = std::exchange(due_, std::nullopt);
  if (!due || !device_.IsOpen()) return;
  const int64_t left_us = due->deadline_us - clock_.NowUs();
  if (left_us > 0) {
    WaitForCountTimed(due->count, (left_us + 999) / 1000, PollPause::k1msAround3, due->echo);
  }
  Flush();
}

void KLinePort::WaitForQuiet(int64_t quiet_ms, int64_t limit_ms) {
  if (!device_.IsOpen()) return;
  device_.Drain();
  const int64_t start = clock_.NowUs();
  int64_t last_change = start;
  int count = PendingCount();
  while (!device_.WasLost()) {
    const int64_t now = clock_.NowUs();
    if (now - last_change >= quiet_ms * 1000 || now - start >= limit_ms * 1000) return;
    clock_.SleepMs(1);
    const int latest = PendingCount();
    if (latest != count) {
      count = latest;
      last_change = clock_.NowUs();
    }
  }
}

std::string KLinePort::ToReplyHex(const Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0x0F]);
  }
  return text;
}

ExchangeResult KLinePort::ExchangeByte(const Exchange& exchange) {
  ExchangeResult result;
  if (!SendRequest(exchange.request, exchange.pause_first_ms, exchange.limit_ms) ||
      !WaitForCountTimed(exchange.count, exchange.limit_ms, exchange.pause, exchange.request)) {
    result.timed_out = true;
    return result;
  }
  result.reply_hex = ToReplyHex(ReadAll());
  if (exchange.check_echo) {
    const std::string echo = ToReplyHex(Bytes{exchange.request});
    if (result.reply_hex.compare(0, 2, echo) == 0) result.answer = result.reply_hex.substr(2);
  } else if (result.reply_hex.size() >= 4) {
    result.answer = result.reply_hex.substr(2, 2);
  }
  return result;
}

}  // namespace kline
