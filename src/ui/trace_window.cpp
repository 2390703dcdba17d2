#include "ui/trace_window.h"

#include <QBrush>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/mnemonics.h"
#include "ui/screen_fit.h"

namespace kline::ui {

namespace {

QString Milliseconds(int64_t us) {
  return QString::number(static_cast<double>(us) / 1000.0, 'f', 3);
}

QString Utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TraceTableModel::TraceTableModel(TraceFile trace, QObject* parent)
    : QAbstractTableModel(parent), trace_(std::move(trace)), gaps_(ReadGaps(trace_)) {
  rows_.reserve(trace_.rows.size() + trace_.notes.size());
  size_t r = 0;
  size_t n = 0;
  while (r < trace_.rows.size() || n < trace_.notes.size()) {
    const bool byte = n == trace_.notes.size() ||
                      (r < trace_.rows.size() && trace_.rows[r].line < trace_.notes[n].line);
    rows_.push_back(byte ? Row{false, r++} : Row{true, n++});
  }
}

int TraceTableModel::NextMarked(int row) const {
  const auto count = static_cast<int>(rows_.size());
  for (int step = 1; step <= count; ++step) {
    const Row& candidate = rows_[static_cast<size_t>((row + step) % count)];
    if (!candidate.note && gaps_.marks[candidate.index] != GapMark::kNone) {
      return (row + step) % count;
    }
  }
  return -1;
}

int TraceTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TraceTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TraceTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Row& row = rows_[static_cast<size_t>(index.row())];
  if (row.note) {
    const TraceNote& note = trace_.notes[row.index].note;
    if (role == Qt::ForegroundRole) return QBrush(Qt::darkGray);
    if (role != Qt::DisplayRole) return {};
    if (index.column() == kTime) return Milliseconds(note.time_us);
    if (index.column() == kDirection) return QStringLiteral("note");
    if (index.column() == kMeaning) return Utf8(note.text);
    return {};
  }
  const TraceEntry& entry = trace_.rows[row.index].entry;
  const GapMark mark = gaps_.marks[row.index];
  switch (role) {
    case Qt::TextAlignmentRole:
      if (index.column() == kMeaning || index.column() == kMark) return {};
      return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ForegroundRole:
      if (mark != GapMark::kNone && (index.column() == kGap || index.column() == kMark)) {
        return QBrush(Qt::red);
      }
      return {};
    case Qt::DisplayRole:
      break;
    default:
      return {};
  }
  switch (index.column()) {
    case kTime:
      return Milliseconds(entry.time_us);
    case kGap:
      return Milliseconds(gaps_.gap_us[row.index]);
    case kDirection: {
      static const char* const kNames[] = {"sent", "echo", "from ECU"};
      return QString::fromLatin1(kNames[static_cast<size_t>(entry.dir)]);
    }
    case kByte:
      return QString::fromStdString(HexByte(entry.byte)) +
             (entry.garbled ? QStringLiteral(" garbled") : QString());
    case kRate:
      return entry.baud;
    case kMeaning:
      return Utf8(trace_.labels[trace_.rows[row.index].label]);
    case kMark: {
      const std::string_view text = GapMarkText(mark);
      return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    }
    default:
      return {};
  }
}

QVariant TraceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kHeaders[] = {"time ms", "gap ms",  "direction", "byte",
                                         "baud",    "meaning", "mark"};
  return section >= 0 && section < kColumnCount ? QString::fromLatin1(kHeaders[section])
                                                : QVariant();
}

TraceWindow::TraceWindow(TraceFile trace, const QString& path, QWidget* parent)
    : QWidget(parent, Qt::Window) {
  setAttribute(Qt::WA_DeleteOnClose);
  const QString name = QFileInfo(path).fileName();
  setWindowTitle(QStringLiteral("Trace %1").arg(name));
  const std::optional<EcuType> type = trace.type;
  model_ = new TraceTableModel(std::move(trace), this);

  counts_ = new QLabel(QStringLiteral("%1 (%2): %3")
                           .arg(name,
                                type ? QStringLiteral("ECU type %1").arg(EcuTypeName(*type).data())
                                     : QStringLiteral("ECU type not named"),
                                QString::fromStdString(GapCountsLine(model_->gaps()))));
  counts_->setObjectName(QStringLiteral("TraceCounts"));
  counts_->setWordWrap(true);
  counts_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  table_ = new QTableView;
  table_->setModel(model_);
  table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  table_->horizontalHeader()->setStretchLastSection(true);
  // Wide enough for their texts at the table's font, measured once rather than per row.
  const QFontMetrics metrics(table_->font());
  const int columns[][2] = {{TraceTableModel::kTime, 10},     {TraceTableModel::kGap, 10},
                            {TraceTableModel::kDirection, 9}, {TraceTableModel::kByte, 10},
                            {TraceTableModel::kRate, 7},      {TraceTableModel::kMeaning, 30}};
  for (const auto& [column, characters] : columns) {
    table_->setColumnWidth(column, metrics.horizontalAdvance(QLatin1Char('0')) * characters + 12);
  }

  auto* next = new QPushButton(QStringLiteral("Next mark"));
  next->setEnabled(model_->NextMarked(-1) >= 0);
  connect(next, &QPushButton::clicked, this, [this] {
    const QModelIndex current = table_->currentIndex();
    const int row = model_->NextMarked(current.isValid() ? current.row() : -1);
    if (row < 0) return;
    table_->selectRow(row);
    table_->scrollTo(model_->index(row, 0), QAbstractItemView::PositionAtCenter);
  });

  auto* bar = new QHBoxLayout;
  bar->addWidget(counts_, 1);
  bar->addWidget(next);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(table_);
  ResizeWithinScreen(*this, QSize(980, 560));
  AddMnemonics(*this);
}

}  // namespace kline::ui
