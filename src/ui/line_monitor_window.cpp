#include "ui/line_monitor_window.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "ui/mnemonics.h"
#include "ui/screen_fit.h"

namespace kline::ui {

namespace {

constexpr const char* kDirectionNames[] = {"sent", "echo", "from ECU"};

// Draws a cell's text as it stands, with no eliding or wrapping, from shapes kept for the texts
// it has drawn lately: the table repaints whole at every update, and its texts come from small
// sets (directions, bytes, rates, labels) or stay on screen for a dozen repaints (times).
class PlainTextDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
    const QStaticText& text = Shape(index.data().toString(), option.font);
    const QRectF room = QRectF(option.rect).adjusted(kMargin, 0, -kMargin, 0);
    const QSizeF size = text.size();
    const bool right = index.data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight;
    const QPointF at(right ? room.right() - size.width() : room.left(),
                     room.top() + (room.height() - size.height()) / 2);
    painter->save();
    painter->setClipRect(option.rect);
    painter->setFont(option.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawStaticText(at, text);
    painter->restore();
  }

 private:
  static constexpr qreal kMargin = 4;
  static constexpr qsizetype kKept = 4096;

  // Two generations: when the newer fills up it becomes the older, and a text found there
  // moves back to the newer, so the texts on screen are never all shaped again at once.
  const QStaticText& Shape(const QString& text, const QFont& font) const {
    if (font != font_) {
      newer_.clear();
      older_.clear();
      font_ = font;
    }
    if (auto it = newer_.constFind(text); it != newer_.cend()) return *it;
    QStaticText shaped = older_.value(text);
    if (shaped.text().isEmpty()) {
      shaped.setText(text);
      shaped.setTextFormat(Qt::PlainText);
      shaped.prepare(QTransform(), font);
    }
    if (newer_.size() >= kKept) older_ = std::exchange(newer_, {});
    return *newer_.insert(text, shaped);
  }

  mutable QHash<QString, QStaticText> newer_;
  mutable QHash<QString, QStaticText> older_;
  mutable QFont font_;
};

}  // namespace

LineTableModel::LineTableModel(size_t capacity, QObject* parent)
    : QAbstractTableModel(parent), capacity_(std::max<size_t>(capacity, 1)) {}

void LineTableModel::Append(const std::vector<LineEntry>& entries) {
  if (entries.empty()) return;
  const size_t keep = std::min(entries.size(), capacity_);
  const size_t drop = rows_.size() + keep > capacity_ ? rows_.size() + keep - capacity_ : 0;
  const uint64_t kept_from = first_ + drop;
  const auto from = entries.end() - static_cast<std::ptrdiff_t>(keep);
  const auto gone =
      static_cast<int>(std::lower_bound(shown_.begin(), shown_.end(), kept_from) - shown_.begin());
  const auto added = static_cast<int>(
      std::count_if(from, entries.end(), [this](const LineEntry& e) { return Shown(e); }));
  // Once the table is full the oldest rows make room: rather than removing rows at the top,
  // which the view pays for with every row it holds, the rows keep their places and take the
  // next entries' contents, and only the difference is inserted or removed at the end.
  const int before = rowCount();
  const int after = before - gone + added;
  if (after > before) beginInsertRows({}, before, after - 1);
  if (after < before) beginRemoveRows({}, after, before - 1);
  shown_.erase(shown_.begin(), shown_.begin() + gone);
  rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(drop));
  // Entries of a batch larger than the whole table are numbered, never held.
  first_ = kept_from + (entries.size() - keep);
  for (auto it = from; it != entries.end(); ++it) {
    if (Shown(*it)) shown_.push_back(first_ + rows_.size());
    rows_.push_back(*it);
  }
  if (after > before) endInsertRows();
  if (after < before) endRemoveRows();
  if (gone > 0 && std::min(before, after) > 0) {
    emit dataChanged(index(0, 0), index(std::min(before, after) - 1, kColumnCount - 1));
  }
}

void LineTableModel::Clear() {
  beginResetModel();
  first_ += rows_.size();
  rows_.clear();
  shown_.clear();
  endResetModel();
}

void LineTableModel::Show(LineDir dir, bool shown) {
  beginResetModel();
  shown_dirs_[static_cast<size_t>(dir)] = shown;
  shown_.clear();
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (Shown(rows_[i])) shown_.push_back(first_ + i);
  }
  endResetModel();
}

int LineTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int LineTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant LineTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const LineEntry& entry = At(index.row());
  if (role == Qt::TextAlignmentRole && index.column() != kLabel) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kTime:
      return QString::number(static_cast<double>(entry.time_us) / 1000.0, 'f', 1);
    case kDirection:
      return QString::fromLatin1(kDirectionNames[static_cast<size_t>(entry.dir)]);
    case kByte:
      return QStringLiteral("%1").arg(entry.byte, 2, 16, QLatin1Char('0')).toUpper();
    case kRate:
      return entry.baud;
    case kLabel:
      return QString::fromUtf8(entry.label.data(), static_cast<qsizetype>(entry.label.size()));
    default:
      return {};
  }
}

QVariant LineTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kHeaders[] = {"time ms", "direction", "byte", "baud", "meaning"};
  return section >= 0 && section < kColumnCount ? QString::fromLatin1(kHeaders[section])
                                                : QVariant();
}

LineMonitorWindow::LineMonitorWindow(QWidget* parent, size_t capacity)
    : QWidget(parent, Qt::Window), capacity_(capacity) {
  setWindowTitle(QStringLiteral("Line monitor"));
  model_ = new LineTableModel(capacity, this);
  for (size_t i = 0; i < shown_.size(); ++i) {
    shown_[i] = new QCheckBox(QString::fromLatin1(kDirectionNames[i]));
    shown_[i]->setChecked(true);
    connect(shown_[i], &QCheckBox::toggled, this,
            [this, i](bool shown) { model_->Show(static_cast<LineDir>(i), shown); });
  }

  table_ = new QTableView;
  table_->setModel(model_);
  table_->setItemDelegate(new PlainTextDelegate(table_));
  table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  // Fixed row heights: the view never measures 100,000 rows.
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  table_->horizontalHeader()->setStretchLastSection(true);

  pause_ = new QCheckBox(QStringLiteral("Pause"));
  connect(pause_, &QCheckBox::toggled, this, [this](bool paused) {
    if (!paused) ShowHeld();
  });
  clear_ = new QPushButton(QStringLiteral("Clear"));
  connect(clear_, &QPushButton::clicked, this, [this] {
    held_.clear();
    model_->Clear();
    history_.Clear();
  });
  auto* save = new QPushButton(QStringLiteral("Save..."));
  connect(save, &QPushButton::clicked, this, &LineMonitorWindow::Save);

  auto* bar = new QHBoxLayout;
  bar->addWidget(pause_);
  bar->addWidget(clear_);
  bar->addSpacing(12);
  for (QCheckBox* box : shown_) bar->addWidget(box);
  bar->addStretch();
  bar->addWidget(save);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(table_);
  ResizeWithinScreen(*this, QSize(640, 480));
  AddMnemonics(*this);
  show_timer_.setSingleShot(true);
  connect(&show_timer_, &QTimer::timeout, this, &LineMonitorWindow::ShowHeld);
}

void LineMonitorWindow::AddEntries(const std::vector<LineEntry>& entries) {
  history_.Add(entries);
  held_.insert(held_.end(), entries.begin(), entries.end());
  if (held_.size() > capacity_) {
    held_.erase(held_.begin(),
                held_.begin() + static_cast<std::ptrdiff_t>(held_.size() - capacity_));
  }
  if (pause_->isChecked() || show_timer_.isActive()) return;
  const qint64 wait = kShowEveryMs - since_shown_.elapsed();
  if (since_shown_.isValid() && wait > 0) {
    show_timer_.start(static_cast<int>(wait));
  } else {
    ShowHeld();
  }
}

void LineMonitorWindow::ShowHeld() {
  if (pause_->isChecked() || held_.empty()) return;
  const std::vector<LineEntry> held(held_.begin(), held_.end());
  held_.clear();
  const QScrollBar* scroll = table_->verticalScrollBar();
  const bool at_end = scroll->value() == scroll->maximum();
  model_->Append(held);
  if (at_end) table_->scrollToBottom();
  since_shown_.start();
}

int LineMonitorWindow::VisibleRows() const { return model_->rowCount(); }

bool LineMonitorWindow::SaveTo(const QString& path, QString* error) {
  return history_.Save(path, error);
}

void LineMonitorWindow::Save() {
  const QString path = QFileDialog::getSaveFileName(
      this, QStringLiteral("Save line trace"), QStringLiteral("line.csv"),
      QStringLiteral("CSV files (*.csv);;All files (*)"));
  if (path.isEmpty()) return;
  QString error;
  if (!SaveTo(path, &error)) {
    QMessageBox::warning(this, QStringLiteral("Save"),
                         QStringLiteral("Could not save %1: %2").arg(path, error));
  }
}

}  // namespace kline::ui
