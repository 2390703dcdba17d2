// The wake-up handshake: listen for the ISO code, send 0x0F 0xAA 0xCC, switch the rate.
#include <algorithm>
#include <array>
#include <utility>

#include "link/trace.h"
#include "session/session_driver.h"

namespace kline {

namespace {

// The key-on code as the reply's hexadecimal text shows it: two digits a byte.
constexpr size_t kIsoCodeDigits = 2 * kIsoCodeLength;

}  // namespace

void SessionDriver::WakeUpEcu() {
  if (!port_.IsOpen()) return;
  const std::optional<EcuType> type = panel_.SelectedType();
  Clock& clock = port_.clock();
  if (type != EcuType::k15Rc && !std::exchange(wake_without_key_on_, false)) {
    if (!port_.LastEventWasReceive()) return;
    // Back from a restart the receive flag is long set: only new bytes are the key-on bytes.
    if (awaiting_key_on_ && port_.PendingCount() == 0) return;
    awaiting_key_on_ = false;
    if (!port_.WaitForCountTimed(kIsoCodeLength, kIdentificationBoundMs, PollPause::k3msThen1ms)) {
      const int heard = port_.PendingCount();
      if (heard == 0) {
        init_ = true;
        // The session goes on without the wake-up: an earlier "waiting for the ignition" no
        // longer says what it does.
        panel_.ShowPortMessage(
            "No identification from the ECU within 3 s: going on without waking it.");
        return;
      }
      // Noise at key-on, a stray byte at port open or the wrong type selected: the ECU was
      // not woken, so listen again from an empty buffer on the next tick.
      port_.Flush();
      panel_.ShowPortMessage("Incomplete identification from the ECU (" + std::to_string(heard) +
                             " of 6 bytes): waiting for the ignition.");
      return;
    }
    clock.SleepMs(kKeyOnTailMs);
    Bytes bytes = port_.ReadAll();
    ListenForLateKeyOnBytes(bytes);
    const std::string reply = KLinePort::ToReplyHex(bytes);
    const size_t at = reply.find(HexByte(kIsoCodeStart));
    const std::string code = at == std::string::npos ? reply : reply.substr(at, kIsoCodeDigits);
    // A code cut short (a byte lost at key-on) is shown as far as it came, and says so.
    const auto code_start = std::find(bytes.begin(), bytes.end(), kIsoCodeStart);
    const int missing =
        code_start == bytes.end()
            ? 0
            : std::max(0, kIsoCodeLength - static_cast<int>(bytes.end() - code_start));
    panel_.AppendInfo(
        "Iso Code    : " + code +
        (missing > 0 ? " (incomplete: " + std::to_string(kIsoCodeLength - missing) + " of 6 bytes)"
                     : std::string()) +
        "\r\n");
    identification_.iso_code = code;
    identification_.missing += missing;
    panel_.ShowIdentification(identification_);
    strange_identification_ = code_start == bytes.end();
  }
  panel_.SetStatus("");
  // The handshake goes on either way (the bytes may yet be a code we do not know), but the
  // user learns at once what the wire showed.
  panel_.ShowPortMessage(strange_identification_ ? std::string(kStrangeIdentificationLine) : "");
  clock.SleepMs(kBeforeWakeUpMs);
  // The first wake-up byte keeps the pause of any request: a key-on byte still coming would
  // otherwise meet it on the line.
  if (!port_.SendRequest(kWakeUpSequence[0], kRequestPauseMs, 0)) return;
  std::array<int64_t, 3> sent_us{clock.NowUs()};
  clock.SleepMs(kWakeUpGapMs);
  port_.WriteByte(kWakeUpSequence[1]);
  sent_us[1] = clock.NowUs();
  clock.SleepMs(kWakeUpGapMs);
  port_.WriteByte(kWakeUpSequence[2]);
  sent_us[2] = clock.NowUs();
  clock.SleepMs(kAfterWakeUpMs);
  CheckWakeUpTiming(sent_us);
  if (type && GroupOf(*type) == EcuGroup::k15) port_.SetBaudRate(kWorkingBaud);
  init_ = true;
}

// The ECU sends its key-on bytes by itself, and a slow one may leave a gap before the last:
// while the code read so far is short, listen on until the line has been quiet for a while.
void SessionDriver::ListenForLateKeyOnBytes(Bytes& bytes) {
  Clock& clock = port_.clock();
  const int64_t give_up_ms = clock.NowMs() + kLateKeyOnBoundMs;
  const auto short_code = [&] {
    const std::string reply = KLinePort::ToReplyHex(bytes);
    const size_t at = reply.find(HexByte(kIsoCodeStart));
    return at != std::string::npos && reply.size() - at < kIsoCodeDigits;
  };
  while (short_code() && clock.NowMs() < give_up_ms) {
    if (!port_.WaitForCountTimed(1, kKeyOnQuietMs, PollPause::k3ms)) return;
    const Bytes more = port_.ReadAll();
    bytes.insert(bytes.end(), more.begin(), more.end());
  }
}

// Each wake-up byte was handed to the port when the clock says; a computer too busy to wake
// in time leaves gaps the ECU may not accept, and the mechanic must hear why.
void SessionDriver::CheckWakeUpTiming(const std::array<int64_t, 3>& sent_us) {
  for (size_t i = 1; i < sent_us.size(); ++i) {
    const int64_t gap_ms = (sent_us[i] - sent_us[i - 1]) / 1000;
    if (gap_ms - kWakeUpGapMs <= kWakeUpGapSlackMs) continue;
    wake_up_late_ = true;
    panel_.ShowPortMessage("The computer was too busy to keep the wake-up's timing (" +
                           HexByte(kWakeUpSequence[i]) + " went out " + std::to_string(gap_ms) +
                           " ms after " + HexByte(kWakeUpSequence[i - 1]) + ", " +
                           std::to_string(kWakeUpGapMs) +
                           " ms asked): the ECU may not have woken. Close other programs and "
                           "connect again.");
    return;
  }
}

}  // namespace kline
