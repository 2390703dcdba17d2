#include "ui/chart_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QThread>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

#include "engine/text.h"
#include "record/channel_columns.h"
#include "ui/mnemonics.h"
#include "ui/qt_versions.h"
#include "ui/screen_fit.h"

namespace kline::ui {

namespace {

// Each redraw paints every curve again, so the chart redraws only as often as the eye needs:
// a strip that moves a few pixels at a time, and no faster than 2.5 times a second.
constexpr int kRefreshMs = 400;
constexpr int kRefreshesPerWindow = 75;
constexpr double kLiveSeconds = 600;
// Far more than 10 minutes of steps at any rate the line allows; a guard, not a setting.
constexpr size_t kMaxLivePoints = 100'000;
constexpr double kMinSpanSeconds = 0.05;
// A value scale is cut into this many round steps.
constexpr int kValueSteps = 4;
// A scale grows with headroom and shrinks only once the values use a small part of it; it never
// spans less than a small part of the values' size, so that noise and a slow warm-up do not
// move it at every step.
constexpr double kLooseScale = 8;
constexpr double kHeadroom = 0.15;
constexpr double kMinSpanOfSize = 0.02;
constexpr double kMinSpan = 0.1;
constexpr int kWindowChoices[] = {30, 120, 600};
constexpr const char* kWindowCaptions[] = {"30 s", "2 min", "10 min"};
constexpr const char* kColours[] = {"#d62728", "#1f77b4", "#ff7f0e", "#9467bd",
                                    "#17becf", "#2ca02c", "#b8a000", "#e377c2",
                                    "#7f7f7f", "#8c564b", "#393b79", "#637939"};
constexpr int kChannelColours = kChannelCount;
constexpr int kOtherColours = static_cast<int>(std::size(kColours)) - kChannelColours;
const char* const kFirstTicked[] = {"rpm", "throttle_deg", "water_c"};

QColor ColourOf(const QString& name, int index) {
  for (int c = 0; c < kChannelCount; ++c) {
    if (name == Q(kChannelColumns[static_cast<size_t>(c)].csv_name)) return QColor(kColours[c]);
  }
  return QColor(kColours[kChannelColours + index % kOtherColours]);
}

struct Thinned {
  QList<QPointF> points;
  double low = INFINITY;
  double high = -INFINITY;
};

// The points of [from, to] plus one on either side, so the line runs to the edges; beyond
// two per bucket (a column of pixels), each bucket keeps its lowest and highest point, in time
// order: drawing costs the same however many points the time span holds.
template <class Points>
Thinned Thin(const Points& points, double from, double to, int buckets) {
  Thinned out;
  const auto by_time = [](const QPointF& p, double t) { return p.x() < t; };
  auto first = std::lower_bound(points.begin(), points.end(), from, by_time);
  auto last = std::upper_bound(points.begin(), points.end(), to,
                               [](double t, const QPointF& p) { return t < p.x(); });
  if (first != points.begin()) --first;
  if (last != points.end()) ++last;
  const bool thin = last - first > 2 * buckets;
  const double width = (to - from) / buckets;
  int current = INT_MIN;
  QPointF lowest;
  QPointF highest;
  const auto flush = [&] {
    if (current == INT_MIN) return;
    out.points.append(lowest.x() <= highest.x() ? lowest : highest);
    if (lowest != highest) out.points.append(lowest.x() <= highest.x() ? highest : lowest);
  };
  for (auto it = first; it != last; ++it) {
    const QPointF& p = *it;
    if (p.x() >= from && p.x() <= to) {
      out.low = std::min(out.low, p.y());
      out.high = std::max(out.high, p.y());
    }
    if (!thin) {
      out.points.append(p);
      continue;
    }
    const int bucket = static_cast<int>(
        std::clamp(std::floor((p.x() - from) / width), -1.0, static_cast<double>(buckets)));
    if (bucket != current) {
      flush();
      current = bucket;
      lowest = highest = p;
    } else if (p.y() < lowest.y()) {
      lowest = p;
    } else if (p.y() > highest.y()) {
      highest = p;
    }
  }
  flush();
  return out;
}

struct Scale {
  double min;
  double max;
  double step;
};

// [low, high] with headroom, on kValueSteps round steps.
Scale RoundScale(double low, double high) {
  const double span =
      std::max({high - low, kMinSpanOfSize * std::max(std::abs(low), std::abs(high)), kMinSpan});
  const double pad = (span - (high - low)) / 2 + span * kHeadroom;
  double step = RoundStep((high - low + 2 * pad) / kValueSteps);
  for (;;) {
    const double min = std::floor((low - pad) / step) * step;
    if (min + kValueSteps * step >= high + pad) return {min, min + kValueSteps * step, step};
    step = RoundStep(step * 1.01);
  }
}

// The last value at or before `seconds`.
template <class Points>
std::optional<double> ValueAt(const Points& points, double seconds) {
  auto it = std::upper_bound(points.begin(), points.end(), seconds,
                             [](double t, const QPointF& p) { return t < p.x(); });
  if (it == points.begin()) return std::nullopt;
  return std::prev(it)->y();
}

QPushButton* Button(const char* caption, const char* name) {
  auto* button = new QPushButton(QString::fromUtf8(caption));
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

}  // namespace

ChartWindow::ChartWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Chart"));
  plot_ = new StripPlot;
  plot_->setObjectName(QStringLiteral("ChartView"));
  plot_->setMouseTracking(true);
  plot_->installEventFilter(this);

  reading_ = new QLabel;
  reading_->setObjectName(QStringLiteral("Reading"));
  message_ = new QLabel;
  message_->setObjectName(QStringLiteral("Message"));
  auto* right = new QVBoxLayout;
  right->addWidget(plot_, 1);
  right->addWidget(reading_);
  right->addWidget(message_);
  auto* top = new QHBoxLayout(this);
  top->addWidget(BuildControls());
  top->addLayout(right, 1);
  ResizeWithinScreen(*this, QSize(1000, 600));

  ticked_ = {std::begin(kFirstTicked), std::end(kFirstTicked)};
  ShowLive();
  connect(&refresh_, &QTimer::timeout, this, [this] {
    if (isVisible()) Redraw();
  });
  refresh_.start(kRefreshMs);
}

QWidget* ChartWindow::BuildControls() {
  auto* controls = new QWidget;
  auto* column = new QVBoxLayout(controls);
  auto* channels = new QGroupBox(QStringLiteral("Channels"));
  auto* inside = new QVBoxLayout(channels);
  // A recording may have hundreds of columns: the list scrolls, the window keeps its size.
  auto* scroll = new QScrollArea;
  channel_list_ = scroll;
  scroll->setObjectName(QStringLiteral("ChannelList"));
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* list = new QWidget;
  boxes_ = new QVBoxLayout(list);
  boxes_->setContentsMargins(0, 0, 0, 0);
  boxes_->setAlignment(Qt::AlignTop);
  scroll->setWidget(list);
  inside->addWidget(scroll);
  column->addWidget(channels, 1);

  window_choice_ = new QComboBox;
  window_choice_->setObjectName(QStringLiteral("TimeWindow"));
  for (const char* caption : kWindowCaptions) window_choice_->addItem(QString::fromUtf8(caption));
  connect(window_choice_, qOverload<int>(&QComboBox::activated), this,
          [this](int index) { SetWindowSeconds(kWindowChoices[index]); });
  column->addWidget(window_choice_);

  pause_ = Button("Pause", "Pause");
  pause_->setCheckable(true);
  connect(pause_, &QPushButton::clicked, this, &ChartWindow::SetPaused);
  show_all_ = Button("Show all", "ShowAll");
  connect(show_all_, &QPushButton::clicked, this, [this] {
    SetTimeRange(recorded_from_, recorded_to_);
    Redraw();
  });
  show_live_ = Button("Show live", "ShowLive");
  connect(show_live_, &QPushButton::clicked, this, &ChartWindow::ShowLive);
  auto* save = Button("Save image...", "SaveImage");
  connect(save, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save image"),
                                                      QStringLiteral("chart.png"),
                                                      QStringLiteral("PNG images (*.png)"));
    if (!path.isEmpty()) SaveImage(path);
  });
  open_ = Button("Open recording...", "OpenRecording");
  connect(open_, &QPushButton::clicked, this, [this] {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open recording"), {},
                                     QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (!path.isEmpty()) OpenRecording(path);
  });
  for (QPushButton* button : {pause_, show_all_, show_live_, save, open_})
    column->addWidget(button);
  column->addStretch(1);
  auto* hint = new QLabel(
      QStringLiteral("Drag: zoom in\nRight click: zoom out\nWheel: zoom\nShift+drag: pan"));
  hint->setEnabled(false);
  column->addWidget(hint);
  return controls;
}

void ChartWindow::BuildCurves(const std::vector<Column>& columns) {
  for (Curve& curve : curves_) delete curve.box;
  curves_.clear();
  plot_->Curves().clear();
  const bool any_ticked = std::any_of(columns.begin(), columns.end(),
                                      [this](const Column& c) { return ticked_.contains(c.name); });
  for (size_t i = 0; i < columns.size(); ++i) {
    const Column& column = columns[i];
    const QColor colour = ColourOf(column.name, static_cast<int>(i));
    // A file of other columns than ours shows its first few until the user picks.
    if (!any_ticked && i < std::size(kFirstTicked)) ticked_.insert(column.name);
    const bool ticked = ticked_.contains(column.name);
    PlotCurve plotted;
    plotted.title =
        column.unit.isEmpty() ? column.caption : column.caption + " (" + column.unit + ")";
    plotted.colour = colour;
    plotted.shown = ticked;
    plotted.steps = kValueSteps;
    plot_->Curves().push_back(plotted);

    QPixmap swatch(12, 12);
    swatch.fill(colour);
    auto* box = new QCheckBox(column.caption);
    box->setObjectName(QStringLiteral("Curve(%1)").arg(i));
    box->setIcon(QIcon(swatch));
    box->setChecked(ticked);
    connect(box, &QCheckBox::toggled, this, [this, i](bool on) {
      if (on) {
        ticked_.insert(curves_[i].name);
      } else {
        ticked_.erase(curves_[i].name);
      }
      ShowCurve(i, on);
      dirty_ = true;
      Redraw();
    });
    boxes_->addWidget(box);
    curves_.push_back({column.name, column.caption, column.unit, box});
  }
  // The list scrolls only downwards: it is as wide as its longest name, and the room for a
  // scroll bar, so that no name is cut.
  int widest = 0;
  for (const Curve& curve : curves_) widest = std::max(widest, curve.box->sizeHint().width());
  channel_list_->setMinimumWidth(widest + boxes_->contentsMargins().left() +
                                 channel_list_->verticalScrollBar()->sizeHint().width());
  // The new boxes take Alt letters beside the buttons, which keep theirs.
  AddMnemonics(*this);
  plot_->update();
}

void ChartWindow::ShowCurve(size_t curve, bool shown) {
  PlotCurve& plotted = plot_->Curves().at(curve);
  plotted.shown = shown;
  // A hidden curve keeps no points: the points are the drawing of the time in view.
  if (!shown) plotted.points.clear();
  plot_->update();
}

void ChartWindow::AddSample(const LiveSample& sample) {
  // A new session's clock may start anywhere: its samples begin a new chart.
  if (!live_origin_us_ || sample.time_us < live_last_us_) {
    for (auto& points : live_) points.clear();
    live_origin_us_ = sample.time_us;
  }
  live_last_us_ = sample.time_us;
  live_newest_ = static_cast<double>(sample.time_us - *live_origin_us_) / 1e6;
  for (size_t c = 0; c < live_.size(); ++c) {
    const std::optional<double>& value = sample.values[c];
    std::deque<QPointF>& points = live_[c];
    if (value && std::isfinite(*value)) points.emplace_back(live_newest_, *value);
    while (!points.empty() &&
           (points.front().x() < live_newest_ - kLiveSeconds || points.size() > kMaxLivePoints)) {
      points.pop_front();
    }
  }
  if (!showing_recording_ && !paused_) dirty_ = true;
}

void ChartWindow::Redraw() {
  if (!dirty_) return;
  dirty_ = false;
  double from = plot_->Time().from;
  double to = plot_->Time().to;
  if (!showing_recording_ && !paused_) {
    from = std::max(0.0, live_newest_ - window_seconds_);
    to = from + window_seconds_;
  }
  const int buckets = std::max(1, static_cast<int>(plot_->PlotArea().width()));
  for (size_t i = 0; i < curves_.size(); ++i) {
    PlotCurve& curve = plot_->Curves()[i];
    if (!curve.shown) continue;
    Thinned shown = showing_recording_ ? Thin(recorded_[i], from, to, buckets)
                                       : Thin(live_[i], from, to, buckets);
    curve.points = std::move(shown.points);
    FitScale(curve, shown.low, shown.high);
  }
  plot_->SetTime({from, to});
}

void ChartWindow::FitScale(PlotCurve& curve, double low, double high) {
  if (low > high) return;
  const Scale wanted = RoundScale(low, high);
  // Keep the scale while the values fit it and use a fair part of it.
  if (low >= curve.scale.from && high <= curve.scale.to &&
      curve.scale.to - curve.scale.from <= kLooseScale * (wanted.max - wanted.min)) {
    return;
  }
  curve.scale = {wanted.min, wanted.max};
  curve.decimals = Decimals(wanted.step);
}

void ChartWindow::OpenRecording(const QString& path) {
  if (loading_) return;
  loading_ = true;
  open_->setEnabled(false);
  message_->setText(QStringLiteral("Reading %1...").arg(QFileInfo(path).fileName()));
  auto result = std::make_shared<CsvRecording>();
  QThread* thread = QThread::create([path, result] { *result = ReadRecording(path); });
  connect(thread, &QThread::finished, this, [this, path, result] {
    loading_ = false;
    open_->setEnabled(true);
    ShowRecording(std::move(*result), path);
  });
  connect(thread, &QThread::finished, thread, &QObject::deleteLater);
  thread->start(QThread::LowPriority);
}

void ChartWindow::ShowRecording(CsvRecording recording, const QString& path) {
  const QString file = QFileInfo(path).fileName();
  if (!recording.error.isEmpty()) {
    message_->setText(file + QStringLiteral(": ") + recording.error);
    return;
  }
  std::vector<Column> columns;
  recorded_.clear();
  recorded_from_ = INFINITY;
  recorded_to_ = -INFINITY;
  for (RecordingColumn& column : recording.columns) {
    columns.push_back({column.name, column.caption, column.unit});
    const auto by_time = [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); };
    if (!std::is_sorted(column.points.begin(), column.points.end(), by_time)) {
      std::stable_sort(column.points.begin(), column.points.end(), by_time);
    }
    if (!column.points.isEmpty()) {
      recorded_from_ = std::min(recorded_from_, column.points.front().x());
      recorded_to_ = std::max(recorded_to_, column.points.back().x());
    }
    recorded_.push_back(std::move(column.points));
  }
  if (recorded_from_ > recorded_to_) recorded_from_ = recorded_to_ = 0;
  if (recorded_to_ - recorded_from_ < kMinSpanSeconds) recorded_to_ = recorded_from_ + 1;
  showing_recording_ = true;
  BuildCurves(columns);
  for (QWidget* live_only : std::initializer_list<QWidget*>{pause_, window_choice_}) {
    live_only->setEnabled(false);
  }
  show_live_->show();
  show_all_->show();
  QString text = QStringLiteral("%1: %2 rows").arg(file).arg(recording.rows);
  if (recording.keep_every > 1) {
    text += QStringLiteral(", one in %1 shown").arg(recording.keep_every);
  }
  if (recording.skipped_lines > 0) {
    text += QStringLiteral(", %1 lines skipped").arg(recording.skipped_lines);
  }
  if (recording.cut_short) {
    text += QStringLiteral(", only the first %1 MiB read").arg(kMaxRecordingBytes >> 20);
  }
  message_->setText(text);
  setWindowTitle(QStringLiteral("Chart - ") + file);
  SetTimeRange(recorded_from_, recorded_to_);
}

void ChartWindow::ShowLive() {
  showing_recording_ = false;
  recorded_.clear();
  std::vector<Column> columns;
  for (const ChannelColumn& column : kChannelColumns) {
    columns.push_back({Q(column.csv_name), Q(column.caption), Q(column.unit)});
  }
  BuildCurves(columns);
  pause_->setEnabled(true);
  window_choice_->setEnabled(true);
  show_live_->hide();
  show_all_->hide();
  message_->clear();
  setWindowTitle(QStringLiteral("Chart"));
  SetPaused(false);
}

void ChartWindow::SetPaused(bool paused) {
  paused_ = paused;
  pause_->setChecked(paused);
  pause_->setText(
      KeepMnemonic(pause_->text(), paused ? QStringLiteral("Resume") : QStringLiteral("Pause")));
  dirty_ = true;
  Redraw();
}

void ChartWindow::SetWindowSeconds(int seconds) {
  window_seconds_ = seconds;
  // The strip moves the same few pixels per refresh, however wide the window.
  refresh_.setInterval(std::clamp(seconds * 1000 / kRefreshesPerWindow, kRefreshMs, 1000));
  const auto* choice = std::find(std::begin(kWindowChoices), std::end(kWindowChoices), seconds);
  if (choice != std::end(kWindowChoices)) {
    window_choice_->setCurrentIndex(static_cast<int>(choice - std::begin(kWindowChoices)));
  }
  if (!showing_recording_) {
    SetTimeRange(plot_->Time().to - seconds, plot_->Time().to);
  }
  dirty_ = true;
  Redraw();
}

bool ChartWindow::SaveImage(const QString& path) {
  if (!plot_->grab().save(path, "PNG")) {
    message_->setText(QStringLiteral("Could not save the image to %1.").arg(path));
    return false;
  }
  message_->setText(QStringLiteral("Image saved to %1.").arg(path));
  return true;
}

QString ChartWindow::ReadingAt(double seconds) const {
  // The user's decimal point, but no group separator: "1.500" would read as a fraction.
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  QString text = locale.toString(seconds, 'f', 2) + QStringLiteral(" s");
  for (size_t i = 0; i < curves_.size(); ++i) {
    const Curve& curve = curves_[i];
    if (!Plotted(static_cast<int>(i)).shown) continue;
    const std::optional<double> value =
        showing_recording_ ? ValueAt(recorded_[i], seconds) : ValueAt(live_[i], seconds);
    text += QStringLiteral("   ") + curve.caption + QStringLiteral(" ") +
            (value ? locale.toString(*value, 'g', 6) : QStringLiteral("-"));
    if (!curve.unit.isEmpty()) text += QStringLiteral(" ") + curve.unit;
  }
  return text;
}

QString ChartWindow::Message() const { return message_->text(); }

void ChartWindow::SetTimeRange(double from, double to) {
  plot_->SetTime({from, to});
  dirty_ = true;
}

void ChartWindow::MoveTimeByHand(double from, double to) {
  if (!showing_recording_ && !paused_) SetPaused(true);
  SetTimeRange(from, to);
  Redraw();
}

void ChartWindow::ZoomAround(double seconds, double factor) {
  const Span time = plot_->Time();
  if ((time.to - time.from) * factor < kMinSpanSeconds) return;
  MoveTimeByHand(seconds - (seconds - time.from) * factor, seconds + (time.to - seconds) * factor);
}

void ChartWindow::Pan(double fraction) {
  const Span time = plot_->Time();
  const double shift = (time.to - time.from) * fraction;
  MoveTimeByHand(time.from + shift, time.to + shift);
}

void ChartWindow::MoveCursor(const QPointF& at) {
  if (!plot_->PlotArea().contains(at)) {
    plot_->SetCursor(std::nullopt);
    reading_->clear();
    return;
  }
  plot_->SetCursor(at.x());
  reading_->setText(ReadingAt(plot_->SecondsAt(at.x())));
}

// Drag: zoom in on the time dragged over. Right click: zoom out. Wheel: zoom around the
// pointer. Shift+drag or the middle button: pan.
bool ChartWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != plot_) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const double x = MousePosition(*mouse).x();
      if (mouse->button() == Qt::MiddleButton ||
          (mouse->button() == Qt::LeftButton && mouse->modifiers() & Qt::ShiftModifier)) {
        drag_from_ = x;
      } else if (mouse->button() == Qt::LeftButton &&
                 plot_->PlotArea().contains(MousePosition(*mouse))) {
        band_from_ = x;
      }
      return mouse->button() != Qt::NoButton;
    }
    case QEvent::MouseMove: {
      const QPointF at = MousePosition(*static_cast<QMouseEvent*>(event));
      MoveCursor(at);
      if (band_from_) plot_->SetBand(Span{*band_from_, at.x()});
      if (drag_from_) {
        Pan((*drag_from_ - at.x()) / plot_->PlotArea().width());
        drag_from_ = at.x();
      }
      return true;
    }
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const QRectF plot = plot_->PlotArea();
      if (mouse->button() == Qt::RightButton) {
        ZoomAround(plot_->SecondsAt(plot.center().x()), 2);
      } else if (band_from_) {
        const double x = std::clamp(MousePosition(*mouse).x(), plot.left(), plot.right());
        const double from = std::min(*band_from_, x);
        const double to = std::max(*band_from_, x);
        plot_->SetBand(std::nullopt);
        band_from_.reset();
        // A click, or a band narrower than the shortest span, zooms nowhere.
        const double seconds = plot_->SecondsAt(to) - plot_->SecondsAt(from);
        if (to - from >= 3 && seconds >= kMinSpanSeconds) {
          MoveTimeByHand(plot_->SecondsAt(from), plot_->SecondsAt(to));
        }
      }
      drag_from_.reset();
      return true;
    }
    case QEvent::Wheel: {
      const auto* wheel = static_cast<QWheelEvent*>(event);
      if (wheel->angleDelta().y() == 0) return false;
      ZoomAround(plot_->SecondsAt(wheel->position().x()), wheel->angleDelta().y() > 0 ? 0.8 : 1.25);
      return true;
    }
    case QEvent::Leave:
      plot_->SetCursor(std::nullopt);
      reading_->clear();
      return false;
    default:
      return false;
  }
}

}  // namespace kline::ui
