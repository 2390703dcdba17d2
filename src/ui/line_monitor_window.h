// The line monitor: every byte on the wire as a row (time since the port opened, direction,
// byte, rate, what it asks for), with pause, clear, a filter by direction and "Save..." in
// the simulator's trace layout. Rows come in batches from the engine; the oldest go once
// the table holds its limit.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QWidget>
#include <array>
#include <deque>
#include <vector>

#include "record/line_log.h"

class QCheckBox;
class QPushButton;
class QTableView;

namespace kline::ui {

class LineTableModel : public QAbstractTableModel {
 public:
  enum Column { kTime, kDirection, kByte, kRate, kLabel, kColumnCount };

  explicit LineTableModel(size_t capacity, QObject* parent = nullptr);

  // One insertion per batch, and one removal when the oldest rows make room.
  void Append(const std::vector<LineEntry>& entries);
  void Clear();
  const LineEntry& At(int row) const { return rows_[static_cast<size_t>(row)]; }
  std::vector<LineEntry> Entries() const { return {rows_.begin(), rows_.end()}; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  size_t capacity_;
  std::deque<LineEntry> rows_;
};

class LineMonitorWindow : public QWidget {
  Q_OBJECT

 public:
  explicit LineMonitorWindow(QWidget* parent = nullptr, size_t capacity = LineLog::kCapacity);

  // New bytes from the engine; held back while paused and shown on resume.
  void AddEntries(const std::vector<LineEntry>& entries);
  // Writes every row the table holds, whatever the filter shows; false with `error` set.
  bool SaveTo(const QString& path, QString* error);

  QTableView* table() const { return table_; }
  QCheckBox* pause_box() const { return pause_; }
  QCheckBox* direction_box(LineDir dir) const { return shown_[static_cast<size_t>(dir)]; }
  QPushButton* clear_button() const { return clear_; }
  int VisibleRows() const;

 private:
  void Resume();
  void Save();

  LineTableModel* model_;
  QSortFilterProxyModel* filter_;
  QTableView* table_;
  QCheckBox* pause_;
  std::array<QCheckBox*, 3> shown_{};
  QPushButton* clear_;
  std::vector<LineEntry> held_;
  size_t capacity_;
};

}  // namespace kline::ui
