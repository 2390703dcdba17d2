// The chart window: a strip chart of the live channels the user picks, each with its own
// colour and value axis, over the last 30 s, 2 min or 10 min; or a recorded CSV shown whole,
// with zoom and pan. A cursor over the chart reads the values at its time.
#pragma once

#include <QList>
#include <QPointF>
#include <QScrollArea>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <deque>
#include <optional>
#include <set>
#include <vector>

#include "record/csv_recording.h"
#include "session/live_sample.h"
#include "ui/strip_plot.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace kline::ui {

class ChartWindow : public QWidget {
 public:
  explicit ChartWindow(QWidget* parent = nullptr);

  // One live step. Cheap: the points are kept (the last 10 minutes) and drawn by a timer a
  // few times a second, never here.
  void AddSample(const LiveSample& sample);
  // Reads `path` on a thread of its own and shows it whole when done; the window stays live
  // meanwhile. A file with nothing to show leaves the chart as it was and says why.
  void OpenRecording(const QString& path);
  // Back from a recording to the live channels.
  void ShowLive();
  void SetPaused(bool paused);
  // 30, 120 or 600.
  void SetWindowSeconds(int seconds);
  // Writes the chart as a PNG; false (and a message under the chart) when it cannot.
  bool SaveImage(const QString& path);
  // "12.3 s  Engine speed 1250 rpm  ..." for the ticked curves at `seconds`.
  QString ReadingAt(double seconds) const;
  // Draws what changed since the last refresh; the timer calls it.
  void Redraw();

  bool Paused() const { return paused_; }
  bool ShowingRecording() const { return showing_recording_; }
  bool Loading() const { return loading_; }
  int CurveCount() const { return static_cast<int>(curves_.size()); }
  // The points drawn of a curve, and its scale; the time in view.
  qsizetype ShownPoints(int curve) const { return Plotted(curve).points.size(); }
  Span ValueScale(int curve) const { return Plotted(curve).scale; }
  Span TimeSpan() const { return plot_->Time(); }
  size_t LivePoints(int channel) const { return live_.at(static_cast<size_t>(channel)).size(); }
  QString Message() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // What the user picks a curve by; its drawing is the plot's curve of the same index.
  struct Curve {
    QString name;
    QString caption;
    QString unit;
    QCheckBox* box = nullptr;
  };
  struct Column {
    QString name;
    QString caption;
    QString unit;
  };

  QWidget* BuildControls();
  void BuildCurves(const std::vector<Column>& columns);
  const PlotCurve& Plotted(int curve) const {
    return plot_->Curves().at(static_cast<size_t>(curve));
  }
  void ShowCurve(size_t curve, bool shown);
  void ShowRecording(CsvRecording recording, const QString& path);
  // Moves the time axis and marks the curves for redrawing.
  void SetTimeRange(double from, double to);
  // A new scale when the values in view [low, high] leave theirs or use too little of it.
  static void FitScale(PlotCurve& curve, double low, double high);
  // The user moved the time axis (rubber band, wheel, drag): a live chart stops following.
  void MoveTimeByHand(double from, double to);
  void ZoomAround(double seconds, double factor);
  // Moves the time axis by `fraction` of its span.
  void Pan(double fraction);
  void MoveCursor(const QPointF& at);

  StripPlot* plot_ = nullptr;
  QVBoxLayout* boxes_ = nullptr;
  QScrollArea* channel_list_ = nullptr;
  QComboBox* window_choice_ = nullptr;
  QPushButton* pause_ = nullptr;
  QPushButton* open_ = nullptr;
  QPushButton* show_live_ = nullptr;
  QPushButton* show_all_ = nullptr;
  QLabel* reading_ = nullptr;
  QLabel* message_ = nullptr;
  QTimer refresh_;

  std::vector<Curve> curves_;
  std::set<QString> ticked_;  // by column name, kept across live and recording
  std::array<std::deque<QPointF>, kChannelCount> live_;
  std::vector<QList<QPointF>> recorded_;  // one per curve while a recording is shown
  double recorded_from_ = 0;
  double recorded_to_ = 0;
  std::optional<int64_t> live_origin_us_;
  int64_t live_last_us_ = 0;
  double live_newest_ = 0;  // seconds since the first live sample
  int window_seconds_ = 30;
  bool paused_ = false;
  bool showing_recording_ = false;
  bool loading_ = false;
  bool dirty_ = false;
  std::optional<double> drag_from_;  // pixels, while the chart is dragged to pan
  std::optional<double> band_from_;  // pixels, while a zoom band is dragged out
};

}  // namespace kline::ui
