#include "ui/pictures.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace kline::ui {

namespace {

// Grey until the first connect or disconnect says what the line is doing.
constexpr uint32_t kIdleBgr = 0x808080;

}  // namespace

QColor FromBgr(uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

IndicatorShape::IndicatorShape(QWidget* parent) : QWidget(parent), bgr_(kIdleBgr) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void IndicatorShape::SetFillColour(uint32_t bgr) {
  bgr_ = bgr;
  update();
}

void IndicatorShape::SetDimmed(bool dimmed) {
  if (dimmed == dimmed_) return;
  dimmed_ = dimmed;
  update();
}

void IndicatorShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
  painter.setBrush(FromBgr(bgr_));
  if (dimmed_) painter.setOpacity(0.3);
  const int side = std::min(width(), height()) - 2;
  painter.drawEllipse(QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side));
}

GaugePicture::GaugePicture(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setToolTip(QStringLiteral("Engine speed, 0 to 12,000 rpm"));
}

void GaugePicture::SetRpm(std::optional<double> rpm) {
  if (rpm == rpm_) return;
  rpm_ = rpm;
  update();
}

double GaugePicture::NeedleFraction() const {
  return rpm_ ? std::clamp(*rpm_ / kFullScaleRpm, 0.0, 1.0) : 0.0;
}

void GaugePicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const double side = std::min(width(), height()) - 4;
  const QPointF centre(width() / 2.0, height() / 2.0);
  const double radius = side / 2.0;

  painter.setPen(QPen(QColor(60, 60, 60), 3));
  painter.setBrush(QColor(25, 25, 30));
  painter.drawEllipse(centre, radius, radius);
  if (!rpm_) painter.setOpacity(0.35);

  // The dial sweeps 270 degrees clockwise from bottom left; the last quarter is the red zone.
  constexpr double kStart = 225.0;
  constexpr double kSweep = 270.0;
  constexpr int kTicks = 12;
  for (int i = 0; i <= kTicks; ++i) {
    const double angle = (kStart - kSweep * i / kTicks) * std::numbers::pi / 180.0;
    const QPointF dir(std::cos(angle), -std::sin(angle));
    painter.setPen(QPen(i >= 10 ? QColor(220, 40, 40) : QColor(235, 235, 235), 2));
    painter.drawLine(centre + dir * (radius * 0.72), centre + dir * (radius * 0.88));
  }
  const double needle = (kStart - kSweep * NeedleFraction()) * std::numbers::pi / 180.0;
  painter.setPen(QPen(QColor(255, 140, 0), 3, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(centre, centre + QPointF(std::cos(needle), -std::sin(needle)) * radius * 0.8);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(200, 200, 200));
  painter.drawEllipse(centre, radius * 0.08, radius * 0.08);
}

}  // namespace kline::ui
