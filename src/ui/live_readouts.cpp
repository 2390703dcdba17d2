#include "ui/live_readouts.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <utility>

#include "ui/pictures.h"
#include "ui/speed_bar.h"

namespace kline::ui {

namespace {

constexpr const char* kChannelCaptions[kChannelCount] = {
    "rpm",        "inj duration", "ign advance", "manifold pressure", "air temp",
    "water temp", "throttle",     "battery",     "trimmer value"};
constexpr const char* kUnits[kChannelCount] = {"tr/m", "ms", "°", "mBar", "°", "°", "°", "V", ""};
// Readings a tenth of a second late are still read as live.
constexpr int kDisplayMs = 100;
// A value field's width at the window's first size.
constexpr int kFieldWidth = 80;

QString Name(const char* base, int index) { return QStringLiteral("%1(%2)").arg(base).arg(index); }

QFont Scaled(QFont font, double scale) {
  if (font.pointSizeF() > 0) {
    font.setPointSizeF(font.pointSizeF() * scale);
  } else {
    font.setPixelSize(static_cast<int>(font.pixelSize() * scale));
  }
  return font;
}

}  // namespace

LiveReadouts::LiveReadouts(DiagnosticEngine& engine, QWidget* corner, QObject* parent)
    : QObject(parent), engine_(engine) {
  channels_ = BuildChannels(corner);
  speed_row_ = BuildSpeedRow();
  field_font_ = value_fields_[0]->font();
  EngineEvents* events = &engine.events();
  // Each reading would cost the window a paint of its own; a reading that goes away
  // (disconnected, no answer) is shown gone at once.
  connect(events, &EngineEvents::ReadingChanged, this, [this](int channel, const QString& text) {
    shown_.texts.at(static_cast<size_t>(channel)) = text;
    ShowSoon(text.isEmpty());
    // A new palette restyles the field: only when it was stale.
    if (stale_.test(static_cast<size_t>(channel))) SetStale(channel, false);
  });
  connect(events, &EngineEvents::ReadingStale, this, &LiveReadouts::SetStale);
  connect(events, &EngineEvents::ChannelTicked, this, [this](int channel, bool ticked) {
    channel_boxes_.at(static_cast<size_t>(channel))->setChecked(ticked);
  });
  connect(events, &EngineEvents::SpeedBarChanged, this, [this](int lit_below) {
    shown_.lit_below = lit_below;
    ShowSoon(lit_below == 0);
  });
  connect(events, &EngineEvents::SpeedFigureChanged, this, [this](const QString& text) {
    shown_.readout = text;
    ShowSoon(text.isEmpty());
  });
  connect(events, &EngineEvents::SampleTaken, this, [this](const LiveSample& sample) {
    rev_counter_->SetRpm(sample.complete ? sample.values[kSpeedChannel] : std::nullopt);
  });
  connect(events, &EngineEvents::ConnectionChanged, this, [this](ConnectionState state) {
    if (state == ConnectionState::kClosed || state == ConnectionState::kLost) {
      rev_counter_->SetRpm(std::nullopt);
    }
  });
  display_.setSingleShot(true);
  display_.setInterval(kDisplayMs);
  connect(&display_, &QTimer::timeout, this, &LiveReadouts::ShowReadings);
}

QWidget* LiveReadouts::BuildChannels(QWidget* corner) {
  auto* box = new QWidget;
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);

  auto* pictures = new QHBoxLayout;
  rev_counter_ = new GaugePicture;
  rev_counter_->setObjectName(QStringLiteral("Image1"));
  pictures->addWidget(rev_counter_);
  pictures->addStretch(1);
  pictures->addWidget(corner, 0, Qt::AlignTop);
  column->addLayout(pictures);

  auto* grid = new QGridLayout;
  grid->setVerticalSpacing(2);
  for (int i = 0; i < kChannelCount; ++i) {
    auto* box_i = new QCheckBox(QString::fromUtf8(kChannelCaptions[i]));
    box_i->setObjectName(Name("Check1", i));
    box_i->setChecked(true);
    connect(box_i, &QCheckBox::clicked, this,
            [this, i](bool ticked) { engine_.SetChannel(i, ticked); });
    auto* field = new QLineEdit;
    field->setObjectName(Name("Text1", i));
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setAlignment(Qt::AlignRight);
    field->setFixedWidth(kFieldWidth);
    auto* unit = new QLabel(QString::fromUtf8(kUnits[i]));
    unit->setObjectName(Name("Label3", i));
    unit->setMinimumWidth(36);
    channel_boxes_[static_cast<size_t>(i)] = box_i;
    value_fields_[static_cast<size_t>(i)] = field;
    grid->addWidget(box_i, i, 0);
    grid->addWidget(field, i, 1);
    grid->addWidget(unit, i, 2);
  }
  column->addLayout(grid);
  column->addStretch(1);
  return box;
}

QWidget* LiveReadouts::BuildSpeedRow() {
  auto* box = new QWidget;
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  speed_bar_ = new SpeedBar;
  speed_bar_->setObjectName(QStringLiteral("Line1"));
  row->addWidget(speed_bar_, 1);

  speed_figure_ = new QLabel;
  speed_figure_->setObjectName(QStringLiteral("Label26"));
  QFont big = speed_figure_->font();
  big.setPointSizeF(big.pointSizeF() * 2.6);
  big.setBold(true);
  figure_font_ = big;
  speed_figure_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  row->addWidget(speed_figure_);
  FitFigure(big);
  return box;
}

std::array<bool, kChannelCount> LiveReadouts::Ticked() const {
  std::array<bool, kChannelCount> ticked{};
  for (size_t i = 0; i < ticked.size(); ++i) ticked[i] = channel_boxes_[i]->isChecked();
  return ticked;
}

void LiveReadouts::Scale(double scale) {
  for (QLineEdit* field : value_fields_) {
    field->setFont(Scaled(field_font_, scale));
    field->setFixedWidth(static_cast<int>(kFieldWidth * scale));
  }
  FitFigure(Scaled(figure_font_, scale));
}

// The figure is of a fixed size: a new reading at every step repaints the label alone, where a
// label free to grow would have the whole window laid out again.
void LiveReadouts::FitFigure(const QFont& font) {
  speed_figure_->setFont(font);
  const QFontMetrics metrics(font);
  speed_figure_->setFixedSize(metrics.horizontalAdvance(QStringLiteral("000000")),
                              metrics.height());
}

void LiveReadouts::SetStale(int channel, bool stale) {
  QLineEdit* field = value_fields_.at(static_cast<size_t>(channel));
  QPalette colours = field->palette();
  colours.setColor(
      QPalette::Text,
      channels_->palette().color(stale ? QPalette::Disabled : QPalette::Active, QPalette::Text));
  field->setPalette(colours);
  // While the ECU does not answer, the readout, the bar and the lamp must not say all is well.
  stale_.set(static_cast<size_t>(channel), stale);
  speed_figure_->setEnabled(!stale_.test(kSpeedChannel));
  speed_bar_->setEnabled(!stale_.test(kSpeedChannel));
  emit StaleChanged(stale_.any());
}

void LiveReadouts::ShowSoon(bool now) {
  if (now) {
    display_.stop();
    ShowReadings();
  } else if (!display_.isActive()) {
    display_.start();
  }
}

void LiveReadouts::ShowReadings() {
  for (size_t channel = 0; channel < shown_.texts.size(); ++channel) {
    std::optional<QString> text = std::exchange(shown_.texts[channel], std::nullopt);
    // Most channels read the same from one step to the next; a field given its own text again
    // would still lay that text out and repaint.
    if (text && value_fields_[channel]->text() != *text) value_fields_[channel]->setText(*text);
  }
  if (shown_.lit_below) speed_bar_->SetLitBelow(*std::exchange(shown_.lit_below, std::nullopt));
  if (shown_.readout) speed_figure_->setText(*std::exchange(shown_.readout, std::nullopt));
}

}  // namespace kline::ui
