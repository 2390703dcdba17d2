#include "ui/line_monitor_window.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

namespace kline::ui {

namespace {

constexpr const char* kDirectionNames[] = {"sent", "echo", "from ECU"};

// Shows the rows whose direction is ticked; reads the direction from the source model.
class DirectionFilter : public QSortFilterProxyModel {
 public:
  DirectionFilter(LineTableModel* source, QObject* parent)
      : QSortFilterProxyModel(parent), source_(source) {
    setSourceModel(source);
  }
  void Show(size_t dir, bool shown) {
    shown_[dir] = shown;
    invalidateRowsFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& /*parent*/) const override {
    return shown_[static_cast<size_t>(source_->At(row).dir)];
  }

 private:
  LineTableModel* source_;
  std::array<bool, 3> shown_ = {true, true, true};
};

}  // namespace

LineTableModel::LineTableModel(size_t capacity, QObject* parent)
    : QAbstractTableModel(parent), capacity_(std::max<size_t>(capacity, 1)) {}

void LineTableModel::Append(const std::vector<LineEntry>& entries) {
  if (entries.empty()) return;
  const size_t keep = std::min(entries.size(), capacity_);
  const size_t overflow = rows_.size() + keep > capacity_ ? rows_.size() + keep - capacity_ : 0;
  if (overflow > 0) {
    beginRemoveRows({}, 0, static_cast<int>(overflow) - 1);
    rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(overflow));
    endRemoveRows();
  }
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(keep) - 1);
  rows_.insert(rows_.end(), entries.end() - static_cast<std::ptrdiff_t>(keep), entries.end());
  endInsertRows();
}

void LineTableModel::Clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

int LineTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
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
  auto* filter = new DirectionFilter(model_, this);
  filter_ = filter;
  for (size_t i = 0; i < shown_.size(); ++i) {
    shown_[i] = new QCheckBox(QString::fromLatin1(kDirectionNames[i]));
    shown_[i]->setChecked(true);
    connect(shown_[i], &QCheckBox::toggled, this,
            [filter, i](bool shown) { filter->Show(i, shown); });
  }

  table_ = new QTableView;
  table_->setModel(filter_);
  table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  // Fixed row heights: the view never measures 100,000 rows.
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  table_->horizontalHeader()->setStretchLastSection(true);

  pause_ = new QCheckBox(QStringLiteral("Pause"));
  connect(pause_, &QCheckBox::toggled, this, [this](bool paused) {
    if (!paused) Resume();
  });
  clear_ = new QPushButton(QStringLiteral("Clear"));
  connect(clear_, &QPushButton::clicked, this, [this] {
    held_.clear();
    model_->Clear();
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
  resize(640, 480);
}

void LineMonitorWindow::AddEntries(const std::vector<LineEntry>& entries) {
  if (pause_->isChecked()) {
    held_.insert(held_.end(), entries.begin(), entries.end());
    if (held_.size() > capacity_) {
      held_.erase(held_.begin(), held_.end() - static_cast<std::ptrdiff_t>(capacity_));
    }
    return;
  }
  const QScrollBar* scroll = table_->verticalScrollBar();
  const bool at_end = scroll->value() == scroll->maximum();
  model_->Append(entries);
  if (at_end) table_->scrollToBottom();
}

void LineMonitorWindow::Resume() {
  std::vector<LineEntry> held;
  held.swap(held_);
  AddEntries(held);
}

int LineMonitorWindow::VisibleRows() const { return filter_->rowCount(); }

bool LineMonitorWindow::SaveTo(const QString& path, QString* error) {
  return SaveLineCsv(path, model_->Entries(), error);
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
