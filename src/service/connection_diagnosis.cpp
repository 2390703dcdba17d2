#include "service/connection_diagnosis.h"

namespace kline {

ConnectionDiagnosis DiagnoseConnection(const WireObservation& seen, FailedStep step) {
  if (!seen.port_open) {
    return {ConnectionFinding::kPortClosed,
            "The port is not open: check that the interface is plugged in and the Com field "
            "names it."};
  }
  // The ECU has answered at this rate already: what is missing now was lost or late, and
  // neither the ignition nor the type is to blame.
  if (step == FailedStep::kLiveDataAfterAnswers && seen.echoes > 0) {
    if (seen.others > 0) {
      return {ConnectionFinding::kAnswersLate,
              "The ECU answered its identification, but its live data answers come after the "
              "wait for them has ended: the ECU answers slowly or the line is disturbed. Asking "
              "again."};
    }
    return {ConnectionFinding::kAnswersLost,
            "The ECU answered its identification, but its live data requests bring back only "
            "their echo: answers are lost on the K-line, or the ECU was switched off. Asking "
            "again."};
  }
  if (seen.others > 0 && seen.sent > 0 && seen.echoes == 0) {
    return {ConnectionFinding::kNoEcho,
            "Bytes came back but not the echo of ours: the interface does not echo, so it is of "
            "another kind or faulty."};
  }
  if (seen.others > 0) {
    const char* expected = step == FailedStep::kWakeUp ? "an identification" : "answers";
    return {ConnectionFinding::kUnexpectedBytes,
            std::to_string(seen.others) + " bytes came at " + std::to_string(seen.others_baud) +
                " baud that are not " + expected +
                ": the ECU talks at another rate or in another way; check the ECU type."};
  }
  if (seen.echoes > 0) {
    return {ConnectionFinding::kOnlyEchoes,
            "Only the echo of our own bytes came back: the interface works but the ECU does not "
            "answer. Check the ignition and the K-line wire."};
  }
  if (seen.sent > 0) {
    return {ConnectionFinding::kNoBytes,
            "No bytes at all came back, not even the echo of what was sent: check that the "
            "interface has power and is plugged in, and the Com port."};
  }
  return {ConnectionFinding::kNoBytes,
          "No bytes at all have come from the ECU: switch the ignition on, and check the "
          "interface and the K-line wire."};
}

ConnectionDiagnosis DiagnoseNotWoken(const WireObservation& wake_up) {
  return {ConnectionFinding::kNotWoken,
          "The wake-up failed: the " + std::to_string(wake_up.others) +
              " bytes that came in place of the identification (port at " +
              std::to_string(wake_up.others_baud) +
              " baud) are not what this ECU type sends, so the ECU was not woken. Check the ECU "
              "type and the adapter's rate."};
}

ConnectionDiagnosis DiagnoseLateWakeUp() {
  return {ConnectionFinding::kWakeUpLate,
          "The wake-up failed: the computer was too busy to send its three bytes 110 ms apart, "
          "so the ECU was not woken. Close other programs, then connect again."};
}

}  // namespace kline
