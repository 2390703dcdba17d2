// The ECU information (10 characters) and calibration (8 characters) texts, one request
// byte per character.
#include "session/session_driver.h"

namespace kline {

void SessionDriver::ReadIdentification(uint8_t first, uint8_t last, PollPause pause,
                                       const char* label,
                                       std::optional<std::string> EcuIdentification::*fact) {
  std::string text;
  for (int request = first; request <= last; ++request) {
    const ExchangeResult result = port_.ExchangeByte({.request = static_cast<uint8_t>(request),
                                                      .count = 2,
                                                      .limit_ms = kIdentificationBoundMs,
                                                      .pause = pause,
                                                      .pause_first_ms = kRequestPauseMs,
                                                      .check_echo = false});
    // A read that came up short after the count (the device closed itself in between) is a
    // time-out too; what was read so far is dropped.
    const std::optional<int> byte = HexByte(result.answer);
    if (result.timed_out || !byte) return;
    text += AnsiCharacter(static_cast<uint8_t>(*byte));
  }
  panel_.AppendInfo(label + text + "\r\n");
  identification_.*fact = text;
  panel_.ShowIdentification(identification_);
}

void SessionDriver::ReadEcuInfo() {
  if (panel_.EcuDataTicked() && port_.IsOpen()) {
    ReadIdentification(0x17, 0x20, PollPause::k3msThen1ms,
                       "ecu data    : ", &EcuIdentification::ecu_data);
  }
  ecuinf_ = true;
}

void SessionDriver::ReadCalibration() {
  if (panel_.CalibrationTicked() && port_.IsOpen()) {
    ReadIdentification(0x21, 0x28, PollPause::k3ms,
                       "calibration : ", &EcuIdentification::calibration);
  }
  cal_ask_ = true;
}

}  // namespace kline
