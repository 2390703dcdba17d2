#include "engine/connection_watch.h"

#include <algorithm>

#include "service/connection_diagnosis.h"

namespace kline {

namespace {

constexpr char kGarbled[] =
    "The ECU's answers arrive garbled: of %1 requests, %2 echoes did not come back as sent and "
    "%3 bytes came that were not asked for. Check the K-line wire and the interface, then the "
    "ECU type.";
// How long an ECU may take to say who it is before the status bar says what the wire shows.
constexpr int64_t kWakeUpPatienceUs = 3'000'000;

}  // namespace

ConnectionWatch::ConnectionWatch(const LineLog& log, std::function<bool()> port_ok, QObject* parent)
    : QObject(parent), log_(log), port_ok_(std::move(port_ok)) {}

void ConnectionWatch::Connected(int64_t now_us) {
  connected_at_us_ = now_us;
  answered_ = false;
  strange_wake_up_.reset();
  late_wake_up_ = false;
  identified_ = false;
  odd_identification_.reset();
  diagnosis_.clear();
}

void ConnectionWatch::AfterWakeUp(const WireObservation& seen, bool strange, bool late) {
  if (strange) strange_wake_up_ = seen;
  late_wake_up_ = late;
}

void ConnectionWatch::AfterTick(int64_t now_us, bool waiting) {
  if (waiting && now_us - connected_at_us_ >= kWakeUpPatienceUs) Diagnose(FailedStep::kWakeUp);
}

void ConnectionWatch::Diagnose(FailedStep step) {
  WireObservation seen = log_.observation();
  seen.port_open = port_ok_();
  // Nothing but echoes since a wake-up on strange bytes, or one sent too slowly: the wake-up
  // is what failed.
  const bool silent_since = seen.port_open && seen.others == 0;
  const ConnectionDiagnosis diagnosis =
      silent_since && strange_wake_up_ ? DiagnoseNotWoken(*strange_wake_up_)
      : silent_since && late_wake_up_  ? DiagnoseLateWakeUp()
      : silent_since && odd_identification_
          ? DiagnoseConnection(*odd_identification_, FailedStep::kLiveData)
          : DiagnoseConnection(seen, step);
  const QString sentence = QString::fromStdString(diagnosis.sentence);
  if (sentence == diagnosis_) return;
  diagnosis_ = sentence;
  emit Diagnosed(diagnosis.finding, diagnosis_);
}

void ConnectionWatch::OnSample(const LiveSample& sample) {
  // A step that ran to its end without a single answer behind its echo failed as well: what
  // came back were not the answers. An answer that means "no value" is an answer.
  if (sample.complete && sample.answered > 0) {
    answered_ = true;
    diagnosis_.clear();
  } else if (!answered_) {
    Diagnose(identified_ ? FailedStep::kLiveDataAfterAnswers : FailedStep::kLiveData);
  }
}

void ConnectionWatch::AfterIdentification(const WireObservation& seen, bool texts) {
  identified_ = texts;
  odd_identification_.reset();
  if (!texts && seen.others > 0) odd_identification_ = seen;
  const int missing_echoes = std::max(0, seen.sent - seen.echoes);
  const int out_of_place = std::max(0, seen.others - seen.sent);
  // No echo at all is the interface's silence, which the live step's diagnosis names.
  const bool echoes_garbled = seen.echoes > 0 && missing_echoes > 0;
  if (seen.sent == 0 || (!echoes_garbled && out_of_place == 0)) return;
  diagnosis_ = QString::fromLatin1(kGarbled).arg(seen.sent).arg(missing_echoes).arg(out_of_place);
  emit Diagnosed(ConnectionFinding::kGarbled, diagnosis_);
}

}  // namespace kline
