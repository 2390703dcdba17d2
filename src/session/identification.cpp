// The ECU information (10 characters) and calibration (8 characters) texts, one request
// byte per character.
#include "session/session_driver.h"

namespace kline {

namespace {

// How many times in a row an answer may be lost before the ECU counts as silent.
constexpr int kLostAnswersInARow = 2;

// " (incomplete: 2 of 10 characters missing, shown as ?)", or nothing when all came.
std::string MissingNote(int missing, int count) {
  if (missing == 0) return {};
  return " (incomplete: " + std::to_string(missing) + " of " + std::to_string(count) +
         " characters missing, shown as " + kMissingCharacter + ")";
}

}  // namespace

std::optional<std::string> SessionDriver::ReadIdentification(RequestRange requests, PollPause pause,
                                                             int* missing) {
  std::string text;
  int read = 0;
  int missed_in_a_row = 0;
  for (int request = requests.first; request <= requests.last; ++request) {
    // Once the ECU has answered, a lost answer is one character missing and the others are
    // still worth asking for; two in a row mean it stopped answering, and the rest is not
    // asked for.
    if (missed_in_a_row >= kLostAnswersInARow) {
      text += kMissingCharacter;
      ++*missing;
      continue;
    }
    const ExchangeResult result = port_.ExchangeByte({.request = static_cast<uint8_t>(request),
                                                      .count = 2,
                                                      .limit_ms = kIdentificationBoundMs,
                                                      .pause = pause,
                                                      .pause_first_ms = kRequestPauseMs,
                                                      .check_echo = false});
    // A read that came up short after the count (the device closed itself in between) is a
    // time-out too. Nothing heard at the start: the ECU is not answering at all.
    const std::optional<int> byte = HexByte(result.answer);
    if (result.timed_out || !byte) {
      if (read == 0) return std::nullopt;
      text += kMissingCharacter;
      ++*missing;
      ++missed_in_a_row;
      continue;
    }
    missed_in_a_row = 0;
    ++read;
    text += AnsiCharacter(static_cast<uint8_t>(*byte));
  }
  return text;
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

void SessionDriver::ReadTextStage(bool ticked, RequestRange requests, PollPause pause,
                                  const char* label,
                                  std::optional<std::string> EcuIdentification::*fact, bool* done) {
  if (ticked && port_.IsOpen()) {
    int missing = 0;
    const std::optional<std::string> text = ReadIdentification(requests, pause, &missing);
    if ((!text || missing > 0) && AskAgain()) return;
    if (text) {
      panel_.AppendInfo(label + *text + MissingNote(missing, requests.size()) + "\r\n");
      identification_.*fact = *text;
      identification_.missing += missing;
      panel_.ShowIdentification(identification_);
    }
  }
  identification_tries_ = 0;
  *done = true;
}

void SessionDriver::ReadEcuInfo() {
  ReadTextStage(panel_.EcuDataTicked(), kEcuDataRequests, PollPause::k3msThen1ms,
                "ecu data    : ", &EcuIdentification::ecu_data, &ecuinf_);
}

void SessionDriver::ReadCalibration() {
  ReadTextStage(panel_.CalibrationTicked(), kCalibrationRequests, PollPause::k3ms,
                "calibration : ", &EcuIdentification::calibration, &cal_ask_);
}

}  // namespace kline
