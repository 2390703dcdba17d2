#include "engine/session_outputs.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace kline {

SessionOutputs::SessionOutputs(EngineEvents& events, QObject* parent) : QObject(parent) {
  connect(&events, &EngineEvents::LineEntries, this,
          [this](const std::vector<LineEntry>& entries) { support_.AddLine(entries); });
  connect(&events, &EngineEvents::SampleTaken, this, &SessionOutputs::OnSample);
  connect(&events, &EngineEvents::Message, this, &SessionOutputs::Note);
  connect(&events, &EngineEvents::Diagnosed, this,
          [this](ConnectionFinding, const QString& sentence) { Note(sentence); });
  connect(&events, &EngineEvents::ConnectionChanged, this, &SessionOutputs::OnConnection);
  connect(&events, &EngineEvents::IdentificationChanged, this,
          [this](const EcuIdentification& facts, const QStringList& lines) {
            if (!facts.iso_code && !facts.ecu_data && !facts.calibration) return;
            kept_facts_ = facts;
            kept_lines_ = lines;
          });
}

RecordingHeader SessionOutputs::Header(std::optional<EcuType> type) const {
  return {.ecu_type = type ? std::string(EcuTypeName(*type)) : std::string(),
          .iso_code = kept_facts_.iso_code.value_or(""),
          .ecu_data = kept_facts_.ecu_data.value_or(""),
          .calibration = kept_facts_.calibration.value_or(""),
          .started = QDateTime::currentDateTime()};
}

bool SessionOutputs::StartRecording(const QString& path, std::optional<EcuType> type,
                                    const LiveSample* first) {
  StopRecording();
  return recorder_.Start(path, Header(type)) && (!first || recorder_.Append(*first));
}

QString SessionOutputs::StopRecording() {
  const bool was_recording = recorder_.IsRecording();
  recorder_.Stop();
  if (!was_recording || !recorder_.Error().isEmpty()) return QString();
  return QStringLiteral("Recording %1 saved: %2 rows.")
      .arg(QFileInfo(recorder_.FileName()).fileName())
      .arg(recorder_.RowsWritten());
}

// Every consumer takes the same sample; none of them costs the wire anything.
void SessionOutputs::OnSample(const LiveSample& sample) {
  support_.AddSample(sample);
  poll_rate_.Add(sample);
  if (recorder_.IsRecording() && !recorder_.Append(sample)) emit RecordingEnded(recorder_.Error());
}

// Disconnected, by the user or by a pulled cable: the recording ends with the session.
void SessionOutputs::OnConnection(ConnectionState state) {
  if (state != ConnectionState::kClosed && state != ConnectionState::kLost) return;
  poll_rate_.Reset();
  if (!recorder_.IsRecording()) return;
  emit RecordingEnded(QStringLiteral("Recording stopped: disconnected. ") + StopRecording());
}

bool SessionOutputs::SaveSupportReport(const QString& path, SupportContext context,
                                       const QString& settings_path, QString* error) const {
  QFile settings(settings_path);
  context.identification = kept_lines_;
  context.facts = kept_facts_;
  context.settings = settings.open(QIODevice::ReadOnly) ? QString::fromUtf8(settings.readAll())
                                                        : QStringLiteral("(no settings file yet)");
  return support_.Save(path, context, error);
}

}  // namespace kline
