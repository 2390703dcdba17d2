#include "ui/strip_plot.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

namespace kline::ui {

namespace {

constexpr double kMargin = 8;
constexpr double kTick = 4;
constexpr double kGap = 3;
constexpr double kSpacing = 8;  // between two axes on one side, and between legend entries
constexpr double kSwatch = 18;
// Beyond a few axes their titles would squeeze the numbers out; colour and legend still tell
// which axis is which.
constexpr size_t kTitledAxes = 4;
// The time axis has at most this many steps.
constexpr double kTimeSteps = 8;
const QColor kGrid(0xe0, 0xe0, 0xe0);
const QColor kText(0x40, 0x40, 0x40);

// Adding zero turns -0 into 0, which would otherwise print as "-0".
QString Number(double value, int decimals) { return QString::number(value + 0.0, 'f', decimals); }

}  // namespace

double RoundStep(double rough) {
  const double decade = std::pow(10, std::floor(std::log10(rough)));
  for (double step : {1.0, 2.0, 5.0}) {
    if (step * decade >= rough) return step * decade;
  }
  return 10 * decade;
}

int Decimals(double step) {
  return std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 9);
}

StripPlot::StripPlot(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 150);
}

void StripPlot::SetTime(Span time) {
  time_ = time;
  update();
}

QRectF StripPlot::PlotArea() const { return Arranged().plot; }

double StripPlot::SecondsAt(double x) const {
  const QRectF plot = PlotArea();
  return time_.from + (x - plot.left()) / plot.width() * (time_.to - time_.from);
}

void StripPlot::SetCursor(std::optional<double> x) {
  if (x == cursor_) return;
  cursor_ = x;
  update();
}

void StripPlot::SetBand(std::optional<Span> pixels) {
  band_ = pixels;
  update();
}

QStringList StripPlot::Labels(const PlotCurve& curve) const {
  QStringList labels;
  const double step = (curve.scale.to - curve.scale.from) / curve.steps;
  for (int k = 0; k <= curve.steps; ++k) {
    labels << Number(curve.scale.from + k * step, curve.decimals);
  }
  return labels;
}

const StripPlot::Layout& StripPlot::Arranged() const {
  Key key{size(), {}, {}};
  for (const PlotCurve& curve : curves_) {
    key.scales.emplace_back(curve.shown, curve.scale.from, curve.scale.to, curve.steps,
                            curve.decimals);
    key.titles << curve.title;
  }
  if (!(key == key_)) {
    key_ = std::move(key);
    layout_ = Arrange();
  }
  return layout_;
}

StripPlot::Layout StripPlot::Arrange() const {
  const QFontMetricsF metrics(font());
  const double line = metrics.height();
  Layout layout;
  const auto shown =
      std::count_if(curves_.begin(), curves_.end(), [](const PlotCurve& c) { return c.shown; });
  layout.titled = static_cast<size_t>(shown) <= kTitledAxes;

  // Value axes alternate left and right, the first of each side next to the curves. A narrow
  // scale is given the room of a few digits, so that most scales never move the plot's edge.
  const double narrowest = metrics.horizontalAdvance(QStringLiteral("-888"));
  double widths[2] = {0, 0};
  for (size_t i = 0; i < curves_.size(); ++i) {
    if (!curves_[i].shown) continue;
    double label = narrowest;
    for (const QString& text : Labels(curves_[i])) {
      label = std::max(label, metrics.horizontalAdvance(text));
    }
    const bool left = i % 2 == 0;
    layout.axes.push_back({i, widths[left ? 0 : 1], left, label});
    widths[left ? 0 : 1] += kTick + kGap + label + (layout.titled ? kGap + line : 0) + kSpacing;
  }

  // The legend: one entry per shown curve, in rows as wide as the widget, each row centred.
  const double room = width() - 2 * kMargin;
  std::vector<std::vector<size_t>> rows(1);
  std::vector<double> row_widths(1, 0);
  for (size_t i = 0; i < curves_.size(); ++i) {
    if (!curves_[i].shown) continue;
    const double entry = kSwatch + kGap + metrics.horizontalAdvance(curves_[i].title);
    if (!rows.back().empty() && row_widths.back() + kSpacing + entry > room) {
      rows.emplace_back();
      row_widths.push_back(0);
    }
    row_widths.back() += (rows.back().empty() ? 0 : kSpacing) + entry;
    rows.back().push_back(i);
  }
  const double legend = shown > 0 ? static_cast<double>(rows.size()) * line : 0;
  for (size_t r = 0; r < rows.size(); ++r) {
    double x = kMargin + std::max(0.0, (room - row_widths[r]) / 2);
    const double y = height() - kMargin - legend + static_cast<double>(r) * line;
    for (size_t i : rows[r]) {
      const double entry = kSwatch + kGap + metrics.horizontalAdvance(curves_[i].title);
      layout.legend.emplace_back(x, y, entry, line);
      x += entry + kSpacing;
    }
  }

  const double left = kMargin + widths[0];
  const double right = std::max(left + 1, width() - kMargin - widths[1]);
  const double top = kMargin + line / 2;
  const double bottom =
      std::max(top + 1, height() - kMargin - legend - kGap - 2 * line - kGap - kTick);
  layout.plot = QRectF(QPointF(left, top), QPointF(right, bottom));
  for (Axis& axis : layout.axes) axis.x = axis.left ? left - axis.x : right + axis.x;
  return layout;
}

void StripPlot::PaintTime(QPainter& painter, const QRectF& plot) {
  const double span = time_.to - time_.from;
  if (!(span > 0)) return;
  // Ticks on whole steps from zero, so that the labels of a moving strip stay round numbers.
  const double step = RoundStep(span / kTimeSteps);
  const int decimals = Decimals(step);
  if (time_labels_.size() > 200) time_labels_.clear();
  for (double k = std::ceil(time_.from / step - 1e-9); k * step <= time_.to + step * 1e-9; ++k) {
    const double x = plot.left() + (k * step - time_.from) / span * plot.width();
    // The grid stays off the edges, where the axes' lines are.
    if (x > plot.left() + 1 && x < plot.right() - 1) {
      painter.setPen(kGrid);
      painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom() - 1));
    }
    painter.setPen(kText);
    painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + kTick));
    const QString text = Number(k * step, decimals);
    auto label = time_labels_.find(text);
    if (label == time_labels_.end()) {
      label = time_labels_.insert(text, QStaticText(text));
      label->prepare(QTransform(), font());
    }
    painter.drawStaticText(QPointF(x - label->size().width() / 2, plot.bottom() + kTick + kGap),
                           *label);
  }
}

void StripPlot::PaintAxis(QPainter& painter, const Layout& layout, const Axis& axis) const {
  const PlotCurve& curve = curves_[axis.curve];
  const QRectF& plot = layout.plot;
  const double line = QFontMetricsF(font()).height();
  painter.setPen(curve.colour);
  painter.drawLine(QPointF(axis.x, plot.top()), QPointF(axis.x, plot.bottom()));
  const double side = axis.left ? -1 : 1;
  const QStringList labels = Labels(curve);
  for (int k = 0; k <= curve.steps; ++k) {
    const double y = plot.bottom() - k * plot.height() / curve.steps;
    painter.drawLine(QPointF(axis.x, y), QPointF(axis.x + side * kTick, y));
    const double near = axis.x + side * (kTick + kGap);
    painter.drawText(QRectF(axis.left ? near - axis.label : near, y - line / 2, axis.label, line),
                     (axis.left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, labels[k]);
  }
  if (!layout.titled) return;
  painter.save();
  painter.translate(axis.x + side * (kTick + kGap + axis.label + kGap + line / 2),
                    plot.center().y());
  painter.rotate(-90);
  painter.drawText(QRectF(-plot.height() / 2, -line / 2, plot.height(), line), Qt::AlignCenter,
                   curve.title);
  painter.restore();
}

QPixmap StripPlot::PaintFrame(const Layout& layout) const {
  const qreal ratio = devicePixelRatioF();
  QPixmap frame(size() * ratio);
  frame.setDevicePixelRatio(ratio);
  frame.fill(Qt::white);
  QPainter painter(&frame);
  painter.setFont(font());
  const QRectF& plot = layout.plot;
  const double line = QFontMetricsF(font()).height();
  painter.setPen(kText);
  painter.drawLine(plot.bottomLeft(), plot.bottomRight());
  painter.drawText(QRectF(plot.left(), plot.bottom() + kTick + kGap + line, plot.width(), line),
                   Qt::AlignCenter, QStringLiteral("Time (s)"));
  for (const Axis& axis : layout.axes) PaintAxis(painter, layout, axis);
  size_t entry = 0;
  for (const PlotCurve& curve : curves_) {
    if (!curve.shown) continue;
    const QRectF& box = layout.legend[entry++];
    painter.setPen(QPen(curve.colour, 3));
    painter.drawLine(QPointF(box.left(), box.center().y()),
                     QPointF(box.left() + kSwatch, box.center().y()));
    painter.setPen(kText);
    painter.drawText(box.adjusted(kSwatch + kGap, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     curve.title);
  }
  return frame;
}

void StripPlot::paintEvent(QPaintEvent*) {
  const Layout& layout = Arranged();
  if (frame_.isNull() || !(frame_key_ == key_)) {
    frame_ = PaintFrame(layout);
    frame_key_ = key_;
  }
  QPainter painter(this);
  painter.drawPixmap(0, 0, frame_);
  const QRectF& plot = layout.plot;
  PaintTime(painter, plot);

  painter.save();
  painter.setClipRect(plot.adjusted(-1, -1, 1, 1));
  const double x_scale = plot.width() / (time_.to - time_.from);
  for (const PlotCurve& curve : curves_) {
    if (!curve.shown || curve.points.size() < 2) continue;
    const double y_scale = plot.height() / (curve.scale.to - curve.scale.from);
    line_.resize(curve.points.size());
    for (qsizetype k = 0; k < curve.points.size(); ++k) {
      const QPointF& p = curve.points[k];
      line_[k] = QPointF(plot.left() + (p.x() - time_.from) * x_scale,
                         plot.bottom() - (p.y() - curve.scale.from) * y_scale);
    }
    painter.setPen(QPen(curve.colour, 0));
    painter.drawPolyline(line_);
  }
  painter.restore();

  if (cursor_) {
    painter.setPen(QPen(Qt::darkGray, 0, Qt::DashLine));
    painter.drawLine(QPointF(*cursor_, plot.top()), QPointF(*cursor_, plot.bottom()));
  }
  if (band_) {
    const double from = std::clamp(std::min(band_->from, band_->to), plot.left(), plot.right());
    const double to = std::clamp(std::max(band_->from, band_->to), plot.left(), plot.right());
    painter.setPen(QColor(0x1f, 0x77, 0xb4));
    painter.setBrush(QColor(0x1f, 0x77, 0xb4, 0x30));
    painter.drawRect(QRectF(from, plot.top(), to - from, plot.height()));
  }
}

}  // namespace kline::ui
