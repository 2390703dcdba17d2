// A live recording and the poll rate as the main window shows them: "Record..." and "Stop
// recording" in a menu, and the rate and the recording's rows in the status bar, refreshed
// once a second. What is recorded and measured is the SessionOutputs'.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "engine/session_outputs.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QWidget;

namespace kline::ui {

class RecordingStatus : public QObject {
 public:
  // What the recording needs of the window: the selected type for its header, a message of
  // the window's shown (and kept for the support report) with a number for that showing, and
  // the message of that showing taken away if nothing has replaced it.
  struct Window {
    QWidget* widget;
    std::function<std::optional<EcuType>()> type;
    std::function<int(const QString&)> say;
    std::function<void(int)> unsay;
  };
  RecordingStatus(SessionOutputs& outputs, Window window);

  void AddTo(QMenu& menu, QStatusBar& bar);
  // Records every live sample to `path` until stopped, disconnected or closed.
  bool Start(const QString& path);
  // `why` the recording stopped, said with where it was saved.
  void Stop(const QString& why);
  // After a sample: the rate and the rows, at most once a second.
  void Refresh();
  // Disconnected: no rate to show.
  void Clear();

 private:
  void ShowRecording();

  SessionOutputs& outputs_;
  Window window_;
  QAction* record_ = nullptr;
  QAction* stop_ = nullptr;
  QLabel* rate_ = nullptr;
  QLabel* recording_ = nullptr;
  // The showing of the last failure to start a recording.
  std::optional<int> problem_;
  QElapsedTimer shown_;  // since the rate and the rows were last shown
};

}  // namespace kline::ui
