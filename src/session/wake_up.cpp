// The wake-up handshake: listen for the ISO code, send 0x0F 0xAA 0xCC, switch the rate.
#include <algorithm>

#include "session/session_driver.h"

namespace kline {

void SessionDriver::WakeUpEcu() {
  if (!port_.IsOpen()) return;
  const std::optional<EcuType> type = panel_.SelectedType();
  Clock& clock = port_.clock();
  if (type != EcuType::k15Rc) {
    if (!port_.LastEventWasReceive()) return;
    if (!port_.WaitForCountTimed(6, kIdentificationBoundMs, PollPause::k3msThen1ms)) {
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
    clock.SleepMs(100);
    const Bytes bytes = port_.ReadAll();
    const std::string reply = KLinePort::ToReplyHex(bytes);
    const size_t at = reply.find("55");
    const std::string code = at == std::string::npos ? reply : reply.substr(at, 12);
    panel_.AppendInfo("Iso Code    : " + code + "\r\n");
    identification_.iso_code = code;
    panel_.ShowIdentification(identification_);
    strange_identification_ = std::find(bytes.begin(), bytes.end(), 0x55) == bytes.end();
  }
  panel_.SetStatus("");
  // The handshake goes on either way (the bytes may yet be a code we do not know), but the
  // user learns at once what the wire showed.
  panel_.ShowPortMessage(strange_identification_ ? std::string(kStrangeIdentificationLine) : "");
  clock.SleepMs(600);
  clock.SleepMs(kRequestPauseMs);
  port_.Flush();
  port_.WriteByte(kWakeUpSequence[0]);
  clock.SleepMs(kWakeUpGapMs);
  port_.WriteByte(kWakeUpSequence[1]);
  clock.SleepMs(kWakeUpGapMs);
  port_.WriteByte(kWakeUpSequence[2]);
  clock.SleepMs(kAfterWakeUpMs);
  if (type == EcuType::k15m || type == EcuType::k15Rc) port_.SetBaudRate(kWorkingBaud);
  init_ = true;
}

}  // namespace kline
