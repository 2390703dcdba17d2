#include "ui/recording_status.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

namespace kline::ui {

namespace {

// A new text lays the status bar out again and repaints it: once a second is enough for
// numbers that are read, not watched.
constexpr int kRefreshMs = 1000;

}  // namespace

RecordingStatus::RecordingStatus(SessionOutputs& outputs, Window window)
    : QObject(window.widget), outputs_(outputs), window_(std::move(window)) {
  connect(&outputs_, &SessionOutputs::RecordingEnded, this, &RecordingStatus::Stop);
}

void RecordingStatus::AddTo(QMenu& menu, QStatusBar& bar) {
  record_ = menu.addAction(QStringLiteral("Record..."), this, [this] {
    const QString path = QFileDialog::getSaveFileName(
        window_.widget, QStringLiteral("Record live data"), QStringLiteral("kline-recording.csv"),
        QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty()) Start(path);
  });
  stop_ = menu.addAction(QStringLiteral("Stop recording"), this, [this] { Stop(QString()); });
  stop_->setEnabled(false);
  rate_ = new QLabel;
  rate_->setObjectName(QStringLiteral("PollRate"));
  bar.addPermanentWidget(rate_);
  recording_ = new QLabel;
  recording_->setObjectName(QStringLiteral("Recording"));
  bar.addPermanentWidget(recording_);
}

bool RecordingStatus::Start(const QString& path) {
  if (!outputs_.StartRecording(path, window_.type())) {
    problem_ = window_.say(outputs_.recorder().Error());
    return false;
  }
  // A recording that starts ends what an earlier failure to record said.
  if (problem_) window_.unsay(*std::exchange(problem_, std::nullopt));
  record_->setEnabled(false);
  stop_->setEnabled(true);
  ShowRecording();
  return true;
}

// The line beside the status goes with the recording: the status says where it was saved.
void RecordingStatus::Stop(const QString& why) {
  const QString saved = outputs_.StopRecording();
  record_->setEnabled(true);
  stop_->setEnabled(false);
  recording_->clear();
  const QString said = why.isEmpty() || saved.isEmpty() ? why + saved : why + u' ' + saved;
  if (!said.isEmpty()) window_.say(said);
}

void RecordingStatus::Refresh() {
  if (shown_.isValid() && shown_.elapsed() < kRefreshMs) return;
  shown_.start();
  const PollRate& rate = outputs_.poll_rate();
  rate_->setText(QStringLiteral("%1 cycles/s, %2 requests/s")
                     .arg(rate.CyclesPerSecond(), 0, 'f', 1)
                     .arg(rate.RequestsPerSecond(), 0, 'f', 1));
  if (outputs_.recorder().IsRecording()) ShowRecording();
}

void RecordingStatus::Clear() {
  rate_->clear();
  shown_.invalidate();
}

void RecordingStatus::ShowRecording() {
  const CsvRecorder& recorder = outputs_.recorder();
  const double seconds = recorder.ElapsedSeconds();
  recording_->setText(QStringLiteral("Recording %1: %2 rows, %3:%4")
                          .arg(QFileInfo(recorder.FileName()).fileName())
                          .arg(recorder.RowsWritten())
                          .arg(static_cast<int>(seconds) / 60)
                          .arg(static_cast<int>(seconds) % 60, 2, 10, QLatin1Char('0')));
}

}  // namespace kline::ui
