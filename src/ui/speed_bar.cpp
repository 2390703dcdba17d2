#include "ui/speed_bar.h"

#include <QPainter>
#include <algorithm>

namespace kline::ui {

namespace {

constexpr int kHeight = 34;
constexpr int kMargin = 2;

bool Thick(int index) { return index % 10 == 9; }

}  // namespace

SpeedBar::SpeedBar(QWidget* parent) : QWidget(parent) {
  for (int i = 0; i < kSpeedSegments; ++i) {
    segments_[static_cast<size_t>(i)] = i % 10 == 0 ? Segment::kDesign : Segment::kUnlit;
  }
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SpeedBar::SetLitBelow(int lit_below) {
  const int lit = std::clamp(lit_below, 0, kSpeedSegments);
  std::array<Segment, kSpeedSegments> segments{};
  for (int i = 0; i < kSpeedSegments; ++i) {
    segments[static_cast<size_t>(i)] = i < lit ? Segment::kLit : Segment::kUnlit;
  }
  // The engine sends the bar at every step; most steps leave it as it was.
  if (segments == segments_) return;
  segments_ = segments;
  update();
}

QSize SpeedBar::sizeHint() const {
  return {kSpeedSegments * kPitch + 2 * kMargin, kHeight + 2 * kMargin};
}

void SpeedBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  painter.fillRect(rect(), pal.color(QPalette::Base));
  painter.setPen(pal.color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  // Lit segments take the frame colour, unlit ones the menu-bar face, and the design-time
  // marks the scroll-bar grey; on the light field all three stay apart.
  // A bar whose speed is stale (the ECU stopped answering) is drawn as disabled.
  const QColor lit =
      pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
  const QColor unlit = pal.color(QPalette::Button).darker(112);
  const QColor design = pal.color(QPalette::Mid);
  for (int i = 0; i < kSpeedSegments; ++i) {
    const Segment state = segments_[static_cast<size_t>(i)];
    const QColor colour = state == Segment::kLit ? lit : state == Segment::kUnlit ? unlit : design;
    const int width = Thick(i) ? 3 : 2;
    const int x = kMargin + i * kPitch + (kPitch - width) / 2;
    painter.fillRect(x, kMargin, width, kHeight, colour);
  }
}

}  // namespace kline::ui
