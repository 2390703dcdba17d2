// What both programs do with a session's output, whoever shows it: the support log (the
// wire's bytes, the samples, every sentence the program said), what the ECU said about
// itself, the poll rate, and a recording of the live values to a CSV file. It follows the
// engine's events itself; the window and the command-line tool only present what it holds.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "engine/engine_events.h"
#include "record/csv_recorder.h"
#include "record/poll_rate.h"
#include "record/support_report.h"

namespace kline {

class SessionOutputs : public QObject {
  Q_OBJECT

 public:
  // Samples reach it in the order of connection: a listener that must see a sample before it
  // is recorded connects to the events first.
  explicit SessionOutputs(EngineEvents& events, QObject* parent = nullptr);

  // A sentence the program said (status bar, standard error), for the support report.
  void Note(const QString& text) { support_.AddStatus(text); }

  // The last identification that held anything, with its info box lines: what a run's or a
  // session's outputs show after the disconnect at its end (which clears the identification).
  const EcuIdentification& kept_facts() const { return kept_facts_; }
  const QStringList& kept_lines() const { return kept_lines_; }
  // A recording's opening for an ECU of `type`, from the kept identification.
  RecordingHeader Header(std::optional<EcuType> type) const;

  // Records every sample from now on to `path` until stopped or disconnected, beginning with
  // `first` when given (the sample in hand, which this object has already taken). On failure
  // returns false and recorder().Error() says why.
  bool StartRecording(const QString& path, std::optional<EcuType> type,
                      const LiveSample* first = nullptr);
  // Ends the recording; "Recording <file> saved: N rows." when one was saved, else empty.
  QString StopRecording();
  const CsvRecorder& recorder() const { return recorder_; }
  const PollRate& poll_rate() const { return poll_rate_; }

  // `context` says what the log cannot know (type, program, port field); the identification
  // and the settings file's text at `settings_path` are added here.
  bool SaveSupportReport(const QString& path, SupportContext context, const QString& settings_path,
                         QString* error) const;

 signals:
  // The recording ended by itself: a sample that could not be written, or a disconnect.
  // `why` says so, with what was saved.
  void RecordingEnded(const QString& why);

 private:
  void OnSample(const LiveSample& sample);
  void OnConnection(ConnectionState state);

  SupportLog support_;
  CsvRecorder recorder_;
  PollRate poll_rate_;
  EcuIdentification kept_facts_;
  QStringList kept_lines_;
};

}  // namespace kline
