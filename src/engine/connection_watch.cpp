#include "engine/connection_watch.h"

#include <algorithm>

#include "service/connection_diagnosis.h"

namespace kline {

namespace {

constexpr char kGarbledTexts[] =
    "The ECU's texts are not readable: its answers arrive garbled. Check the K-line wire and "
    "the interface, then the ECU type.";
// How long an ECU may take to say who it is before the status bar says what the wire shows.
constexpr int64_t kWakeUpPatienceUs = 3'000'000;

}  // namespace

ConnectionWatch::ConnectionWatch(const LineLog& log, std::function<bool()> port_ok, QObject* parent)
    : QObject(parent), log_(log), port_ok_(std::move(port_ok)) {}

void ConnectionWatch::Connected(int64_t now_us) {
  connected_at_us_ = now_us;
  answered_ = false;
  diagnosis_.clear();
}

void ConnectionWatch::AfterTick(int64_t now_us, bool waiting) {
  if (waiting && now_us - connected_at_us_ >= kWakeUpPatienceUs) Diagnose(FailedStep::kWakeUp);
}

void ConnectionWatch::Diagnose(FailedStep step) {
  WireObservation seen = log_.observation();
  seen.port_open = port_ok_();
  const QString sentence = QString::fromStdString(DiagnoseConnection(seen, step).sentence);
  if (sentence == diagnosis_) return;
  diagnosis_ = sentence;
  emit PortMessage(diagnosis_);
}

void ConnectionWatch::OnSample(const LiveSample& sample) {
  // A step that ran to its end without a single answer behind its echo failed as well: what
  // came back were not the answers. An answer that means "no value" is an answer.
  if (sample.complete && sample.answered > 0) {
    answered_ = true;
    diagnosis_.clear();
  } else if (!answered_) {
    Diagnose(FailedStep::kLiveData);
  }
}

void ConnectionWatch::OnInfoLine(const QString& line) {
  static const QString kTexts[] = {QStringLiteral("ecu data    : "),
                                   QStringLiteral("calibration : ")};
  for (const QString& label : kTexts) {
    if (!line.startsWith(label)) continue;
    const QString text = line.mid(label.size()).trimmed();
    const bool readable = std::all_of(text.begin(), text.end(), [](QChar c) {
      return c.unicode() >= 0x20 && c.unicode() < 0x7F;
    });
    if (readable) return;
    diagnosis_ = QString::fromLatin1(kGarbledTexts);
    emit PortMessage(diagnosis_);
  }
}

}  // namespace kline
