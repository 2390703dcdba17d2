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

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The frame around the segments, inset far enough that the outer numbers fit in the widget.
  QRect Frame() const;

  std::array<Segment, kSpeedSegments> segments_;
};

}  // namespace kline::ui
