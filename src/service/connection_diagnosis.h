// What the status bar says when the wake-up or the first live step fails: a sentence drawn
// from what crossed the wire meanwhile, so the user learns which part to look at.
#pragma once

#include <cstdint>
#include <string>

namespace kline {

// What the port saw during one attempt; the line monitor's tap keeps it current.
struct WireObservation {
  bool port_open = false;
  int sent = 0;
  int echoes = 0;
  // Received bytes that were not the echo of a byte sent.
  int others = 0;
  // The port's rate when the last of the others arrived.
  int32_t others_baud = 0;
};

// Which step failed: the bytes that should have come are an identification or answers;
// kLiveDataAfterAnswers when the ECU had answered the identification at this rate.
enum class FailedStep { kWakeUp, kLiveData, kLiveDataAfterAnswers };

enum class ConnectionFinding {
  kPortClosed,
  kNoBytes,          // nothing came back at all, not even the echo
  kOnlyEchoes,       // the interface works; the ECU does not answer
  kNoEcho,           // the ECU answers but the interface gives nothing of ours back
  kUnexpectedBytes,  // something answered, but not what the selected type would say
  kNotWoken,         // the wake-up took bytes that were no identification
  kWakeUpLate,       // the wake-up's bytes left further apart than the ECU waits
  kAnswersLost,      // the ECU answered its identification, then left requests unanswered
  kAnswersLate,      // the ECU answered its identification, then answered after the wait
  kGarbled,          // the identification's echoes or answers came back altered or in excess
};

struct ConnectionDiagnosis {
  ConnectionFinding finding = ConnectionFinding::kPortClosed;
  std::string sentence;
};

ConnectionDiagnosis DiagnoseConnection(const WireObservation& seen, FailedStep step);
// The wake-up went on with bytes that were no identification (`wake_up` is what it saw); an
// ECU that then stays silent was never woken, and that is the step to name.
ConnectionDiagnosis DiagnoseNotWoken(const WireObservation& wake_up);
// Nothing but echoes since a wake-up whose bytes the computer sent too far apart.
ConnectionDiagnosis DiagnoseLateWakeUp();

}  // namespace kline
