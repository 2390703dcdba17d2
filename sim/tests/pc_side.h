// Plays the PC side of the K-line with raw bytes through a KLinePort, the way the session
// code will, for tests of the simulated line and the pseudo-terminal server alike.
#pragma once

#include <array>
#include <cstdint>

#include "link/kline_port.h"

namespace kline::sim {

class PcSide {
 public:
  PcSide(SerialDevice& device, Clock& clock) : port_(device, clock), clock_(clock) {}

  KLinePort& port() { return port_; }

  // Flush, write the request, wait for `count` bytes or `limit_ms`, read all.
  Bytes Ask(uint8_t request, int count = 2, int64_t limit_ms = 500) {
    port_.Flush();
    port_.WriteByte(request);
    port_.WaitForCountTimed(count, limit_ms, PollPause::k3ms);
    return port_.ReadAll();
  }

  Bytes ReadAfter(int64_t ms) {
    clock_.SleepMs(ms);
    return port_.ReadAll();
  }

  // The wake-up bytes with the pauses the session keeps, then its wait before the switch.
  void SendWakeUp(std::array<uint8_t, 3> bytes = {0x0F, 0xAA, 0xCC}, int first_gap_ms = 110,
                  int second_gap_ms = 110) {
    port_.Flush();
    port_.WriteByte(bytes[0]);
    clock_.SleepMs(first_gap_ms);
    port_.WriteByte(bytes[1]);
    clock_.SleepMs(second_gap_ms);
    port_.WriteByte(bytes[2]);
    clock_.SleepMs(300);
    port_.Flush();
  }

 private:
  KLinePort port_;
  Clock& clock_;
};

}  // namespace kline::sim
