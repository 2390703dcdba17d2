#include "ui/speed_bar.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace kline::ui {

namespace {

constexpr int kHeight = 34;
constexpr int kMargin = 2;
constexpr int kPitch = 4;
// Three times the smallest: beyond that a bar of a full-screen window is big enough.
constexpr int kMaxPitch = 3 * kPitch;
constexpr int kSegmentsPerThousand = 10;
constexpr int kThousands = kSpeedSegments / kSegmentsPerThousand;
// Between the frame and the tops of the numbers.
constexpr int kScaleGap = 1;

// The last segment of each thousand is drawn thicker.
bool Thick(int index) { return index % kSegmentsPerThousand == kSegmentsPerThousand - 1; }

// The segment a number stands under: at n thousand rpm the bar lights 10n segments, so the last
// lit is the one that names n. For 0 that is the place left of the first segment.
int NamedSegment(int thousand) { return thousand * kSegmentsPerThousand - 1; }

// Where segment `index` is drawn in `frame` at `pitch`; the numbers are placed from it too, so
// they cannot drift from the segments they name.
QRect SegmentRect(const QRect& frame, int pitch, int index) {
  const int width = Thick(index) ? pitch * 3 / 4 : pitch / 2;
  return {frame.left() + kMargin + index * pitch + (pitch - width) / 2, frame.top() + kMargin,
          width, kHeight * pitch / kPitch};
}

}  // namespace

SpeedBar::SpeedBar(QWidget* parent) : QWidget(parent), pitch_(kPitch) {
  for (int i = 0; i < kSpeedSegments; ++i) {
    segments_[static_cast<size_t>(i)] = i % 10 == 0 ? Segment::kDesign : Segment::kUnlit;
  }
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
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

QFont SpeedBar::NumberFont(int pitch) const {
  QFont scaled = font();
  if (scaled.pointSizeF() > 0) {
    scaled.setPointSizeF(scaled.pointSizeF() * pitch / kPitch);
  } else {
    scaled.setPixelSize(scaled.pixelSize() * pitch / kPitch);
  }
  return scaled;
}

QRect SpeedBar::Frame(int pitch) const {
  // The outer numbers are centred on the frame's left line and on the last segment; half the
  // widest number on either side keeps them whole.
  const int inset = static_cast<int>(std::ceil(
      QFontMetricsF(NumberFont(pitch)).tightBoundingRect(QString::number(kThousands)).width() / 2));
  return {inset, 0, kSpeedSegments * pitch + 2 * kMargin, kHeight * pitch / kPitch + 2 * kMargin};
}

QSize SpeedBar::SizeAt(int pitch) const {
  const QRect frame = Frame(pitch);
  return {frame.width() + 2 * frame.left(),
          frame.height() + kScaleGap + QFontMetrics(NumberFont(pitch)).height()};
}

QSize SpeedBar::sizeHint() const { return SizeAt(kPitch); }

// Computed once per size, not per paint: the bar repaints at every live step.
void SpeedBar::resizeEvent(QResizeEvent*) {
  pitch_ = kPitch;
  for (int pitch = kMaxPitch; pitch > kPitch; --pitch) {
    const QSize needs = SizeAt(pitch);
    if (needs.width() <= width() && needs.height() <= height()) {
      pitch_ = pitch;
      break;
    }
  }
}

void SpeedBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  const QRect frame = Frame(pitch_);
  painter.fillRect(frame, pal.color(QPalette::Base));
  painter.setPen(pal.color(QPalette::Mid));
  painter.drawRect(frame.adjusted(0, 0, -1, -1));
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
    painter.fillRect(SegmentRect(frame, pitch_, i), colour);
  }

  // Each number's ink, not its advance, is centred: digits sit off-centre in their cells by
  // amounts that differ from digit to digit.
  const QFont numbers = NumberFont(pitch_);
  painter.setFont(numbers);
  const QFontMetricsF metrics(numbers);
  const double baseline = frame.bottom() + 1 + kScaleGap + metrics.ascent();
  painter.setPen(pal.color(QPalette::Active, QPalette::WindowText));
  for (int thousand = 0; thousand <= kThousands; ++thousand) {
    const QString text = QString::number(thousand);
    const double centre = QRectF(SegmentRect(frame, pitch_, NamedSegment(thousand))).center().x();
    const QRectF ink = metrics.tightBoundingRect(text);
    painter.drawText(QPointF(centre - ink.center().x(), baseline), text);
  }
}

}  // namespace kline::ui
