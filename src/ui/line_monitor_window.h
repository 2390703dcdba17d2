// The line monitor: every byte on the wire as a row (time since the port opened, direction,
// byte, rate, what it asks for), with pause, clear, a filter by direction and "Save..." in
// the simulator's trace layout. Rows come in batches from the engine; the oldest go once
// the table holds its limit.
#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <deque>
#include <vector>

#include "record/line_history.h"

class QCheckBox;
class QPushButton;
class QTableView;

namespace kline::ui {

// The rows the monitor holds, at most `capacity`, and those of them the ticked directions show.
// Every change costs in proportion to the rows it adds or drops, never to the rows held.
class LineTableModel : public QAbstractTableModel {
 public:
  enum Column { kTime, kDirection, kByte, kRate, kLabel, kColumnCount };

  explicit LineTableModel(size_t capacity, QObject* parent = nullptr);

  // The newest entries after the rows shown; beyond the capacity the oldest go.
  void Append(const std::vector<LineEntry>& entries);
  void Clear();
  void Show(LineDir dir, bool shown);
  // A row of the table, as filtered.
  const LineEntry& At(int row) const {
    return rows_[static_cast<size_t>(shown_[static_cast<size_t>(row)] - first_)];
  }
  // Every row held, whatever the filter shows.

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  bool Shown(const LineEntry& entry) const { return shown_dirs_[static_cast<size_t>(entry.dir)]; }

  size_t capacity_;
  std::deque<LineEntry> rows_;
  uint64_t first_ = 0;          // the number of rows_.front(); each entry's number is fixed
  std::deque<uint64_t> shown_;  // the numbers of the rows shown, oldest first
  std::array<bool, 3> shown_dirs_ = {true, true, true};
};

class LineMonitorWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kShowEveryMs = 500;

  explicit LineMonitorWindow(QWidget* parent = nullptr, size_t capacity = LineLog::kCapacity);

  // New bytes from the engine; held back while paused and shown on resume.
  void AddEntries(const std::vector<LineEntry>& entries);
  // Adds the bytes held back to the table. The table takes them at most every kShowEveryMs:
  // each update repaints it whole, and more often than that nobody can read it anyway.
  void ShowHeld();
  // Writes every byte since the last Clear, whatever the filter shows or the pause holds
  // back: each connection's opening and the newest bytes, as many as the table holds, with a
  // note where bytes were left out; false with `error` set.
  bool SaveTo(const QString& path, QString* error);

  QTableView* table() const { return table_; }
  QCheckBox* pause_box() const { return pause_; }
  QCheckBox* direction_box(LineDir dir) const { return shown_[static_cast<size_t>(dir)]; }
  QPushButton* clear_button() const { return clear_; }
  int VisibleRows() const;

 private:
  void Save();

  LineTableModel* model_;
  QTableView* table_;
  QCheckBox* pause_;
  std::array<QCheckBox*, 3> shown_{};
  QPushButton* clear_;
  std::deque<LineEntry> held_;  // come but not yet in the table
  size_t capacity_;
  LineHistory history_{capacity_};
  QTimer show_timer_;
  QElapsedTimer since_shown_;
};

}  // namespace kline::ui
