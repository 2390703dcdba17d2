// The engine-speed bar (`Line1(0..119)`): 120 thin vertical segments of 100 rpm each, every
// tenth one thicker, lit from the left up to the current speed.
#pragma once

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

  // Horizontal distance between two segments, so that a scale can be laid out under them.
  static constexpr int kPitch = 4;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::array<Segment, kSpeedSegments> segments_;
};

}  // namespace kline::ui
