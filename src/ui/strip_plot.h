// The chart's drawing surface: curves against time, each on a value scale of its own, painted
// straight from the points it holds. Margins, value axes and legend are worked out and drawn
// into a kept picture when a scale, a curve or the size changes, so a scale that gains a digit
// costs one such picture; a paint of a moving strip draws the time axis and the curves on it.
#pragma once

#include <QColor>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QStaticText>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <tuple>
#include <vector>

namespace kline::ui {

struct Span {
  double from = 0;
  double to = 1;
};

// A scale's labels: `steps` equal steps across `span`, each with `decimals` digits.
struct PlotCurve {
  QString title;
  QColor colour;
  bool shown = false;
  Span scale;
  int steps = 4;
  int decimals = 2;
  QList<QPointF> points;  // (seconds, value), in time order
};

// The smallest of 1, 2 or 5 times a power of ten at or above `rough`.
double RoundStep(double rough);
// The digits after the point that labels on whole multiples of `step` need.
int Decimals(double step);

class StripPlot : public QWidget {
 public:
  explicit StripPlot(QWidget* parent = nullptr);

  // Changes are drawn at the next paint; call update() after changing a curve.
  std::vector<PlotCurve>& Curves() { return curves_; }
  const std::vector<PlotCurve>& Curves() const { return curves_; }
  void SetTime(Span time);
  Span Time() const { return time_; }
  // Where the curves are drawn, in this widget's coordinates, for its present size and labels.
  QRectF PlotArea() const;
  double SecondsAt(double x) const;
  // A dashed line at `x`, or none.
  void SetCursor(std::optional<double> x);
  // A shaded band between two x positions while the user drags out a zoom, or none.
  void SetBand(std::optional<Span> pixels);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Axis {
    size_t curve;
    double x;      // where its line is drawn
    bool left;     // labels to the left of its line
    double label;  // width of its widest label
  };
  struct Layout {
    QRectF plot;
    std::vector<Axis> axes;
    std::vector<QRectF> legend;  // one per shown curve, in order
    bool titled = false;
  };
  // What the layout and the kept picture depend on.
  struct Key {
    QSize size;
    std::vector<std::tuple<bool, double, double, int, int>> scales;
    QStringList titles;
    bool operator==(const Key&) const = default;
  };
  // The layout for the present curves and size, worked out again only when they changed.
  const Layout& Arranged() const;
  Layout Arrange() const;
  QStringList Labels(const PlotCurve& curve) const;
  // Background, value axes, legend and the time axis's line and title.
  QPixmap PaintFrame(const Layout& layout) const;
  void PaintTime(QPainter& painter, const QRectF& plot);
  void PaintAxis(QPainter& painter, const Layout& layout, const Axis& axis) const;

  std::vector<PlotCurve> curves_;
  Span time_;
  std::optional<double> cursor_;
  std::optional<Span> band_;
  mutable Key key_;
  mutable Layout layout_;
  QPixmap frame_;
  Key frame_key_;                            // what the kept picture was drawn for
  QHash<QString, QStaticText> time_labels_;  // a moving strip shows the same few again
  QPolygonF line_;                           // kept between paints: a paint allocates nothing
};

}  // namespace kline::ui
