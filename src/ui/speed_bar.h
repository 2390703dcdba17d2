// The engine-speed bar (`Line1(0..119)`): 120 thin vertical segments of 100 rpm each, every
// tenth one thicker, lit from the left up to the current speed, with the thousands 0 to 12
// written under it.
#pragma once

#include <QRect>
#include <QWidget>
#include <array>

#include "session/conversions.h"

namespace kline::ui {

class SpeedBar : public QWidget {
 public:
  // How a segment is drawn. kDesign: the look before any speed was written (segments 0, 10,
  // ..., 110 only).
  enum class Segment { kDesign, kLit, kUnlit };

  explicit SpeedBar(QWidget* parent = nullptr);

  // Segments below `lit_below` lit, the others unlit; out-of-range values are clamped.
  void SetLitBelow(int lit_below);
  Segment State(int index) const { return segments_.at(static_cast<size_t>(index)); }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }
  // The distance between segments: 4 pixels at the hint's size, more when the window gives
  // the bar more room, the segments, their height and the numbers growing together.
  int pitch() const { return pitch_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The numbers' font at `pitch`: the widget's own at the smallest.
  QFont NumberFont(int pitch) const;
  // The frame around the segments at `pitch`, inset far enough that the outer numbers fit in
  // the widget.
  QRect Frame(int pitch) const;
  // The widget's size that the bar takes at `pitch`.
  QSize SizeAt(int pitch) const;

  int pitch_;

  std::array<Segment, kSpeedSegments> segments_;
};

}  // namespace kline::ui
