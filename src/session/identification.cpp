// The ECU information (10 characters) and calibration (8 characters) texts, one request
// byte per character.
#include "session/session_driver.h"

namespace kline {

bool SessionDriver::ReadIdentification(uint8_t first, uint8_t last, PollPause pause,
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
    if (result.timed_out || !byte) return false;
    text += AnsiCharacter(static_cast<uint8_t>(*byte));
  }
  panel_.AppendInfo(label + text + "\r\n");
  identification_.*fact = text;
  panel_.ShowIdentification(identification_);
  return true;
}

// A P8 is not woken, so nothing proves it was on when it was first asked: its texts are asked
// for again at the next ticks, a few times, before live data starts without them.
bool SessionDriver::AskAgain() {
  if (panel_.SelectedType() != EcuType::kP8 || ++identification_tries_ >= kP8IdentificationTries) {
    identification_tries_ = 0;
    return false;
  }
  return true;
}

void SessionDriver::ReadTextStage(bool ticked, uint8_t first, uint8_t last, PollPause pause,
                                  const char* label,
                                  std::optional<std::string> EcuIdentification::*fact, bool* done) {
  if (ticked && port_.IsOpen() && !ReadIdentification(first, last, pause, label, fact) &&
      AskAgain()) {
    return;
  }
  identification_tries_ = 0;
  *done = true;
}

void SessionDriver::ReadEcuInfo() {
  ReadTextStage(panel_.EcuDataTicked(), 0x17, 0x20, PollPause::k3msThen1ms,
                "ecu data    : ", &EcuIdentification::ecu_data, &ecuinf_);
}

void SessionDriver::ReadCalibration() {
  ReadTextStage(panel_.CalibrationTicked(), 0x21, 0x28, PollPause::k3ms,
                "calibration : ", &EcuIdentification::calibration, &cal_ask_);
}

}  // namespace kline
