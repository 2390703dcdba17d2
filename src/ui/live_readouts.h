// How the live readings look: the nine channels (tick box, value field, unit) under the rev
// counter, and the engine-speed bar with its big figure. It follows the engine's readings and
// sends the channel ticks; the readings come one by one as the wire answers and are shown
// together at the display's pace.
#pragma once

#include <QFont>
#include <QObject>
#include <QTimer>
#include <array>
#include <bitset>
#include <optional>

#include "engine/diagnostic_engine.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace kline::ui {

class GaugePicture;
class SpeedBar;

class LiveReadouts : public QObject {
  Q_OBJECT

 public:
  // `corner` goes beside the rev counter.
  LiveReadouts(DiagnosticEngine& engine, QWidget* corner, QObject* parent);

  // The rev counter and the channels, for the window's right side.
  QWidget* channels() const { return channels_; }
  // The speed bar and its figure, for the window's foot.
  QWidget* speed_row() const { return speed_row_; }
  SpeedBar* speed_bar() const { return speed_bar_; }
  std::array<bool, kChannelCount> Ticked() const;
  // The value fields and the figure drawn `scale` times their first size.
  void Scale(double scale);

 signals:
  // Whether any channel's reading is old: the ECU stopped answering for it.
  void StaleChanged(bool any);

 private:
  QWidget* BuildChannels(QWidget* corner);
  QWidget* BuildSpeedRow();
  void FitFigure(const QFont& font);
  void SetStale(int channel, bool stale);
  // Readings that arrived since the last were shown: shown when the display timer runs out, or
  // `now`.
  void ShowSoon(bool now);
  void ShowReadings();

  DiagnosticEngine& engine_;
  std::array<QCheckBox*, kChannelCount> channel_boxes_{};
  std::array<QLineEdit*, kChannelCount> value_fields_{};
  GaugePicture* rev_counter_ = nullptr;
  SpeedBar* speed_bar_ = nullptr;
  QLabel* speed_figure_ = nullptr;
  QWidget* channels_ = nullptr;
  QWidget* speed_row_ = nullptr;
  // The readouts at their first size.
  QFont field_font_;
  QFont figure_font_;
  // Channels whose value is stale: the ECU stopped answering.
  std::bitset<kChannelCount> stale_;
  struct Readings {
    std::array<std::optional<QString>, kChannelCount> texts;
    std::optional<int> lit_below;
    std::optional<QString> readout;
  };
  Readings shown_;  // waiting for the display timer
  QTimer display_;
};

}  // namespace kline::ui
