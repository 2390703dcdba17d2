// A saved trace (the line monitor's, the simulator's, or the one inside a support report) as
// a read-only table: the line monitor's columns, the gap since the byte before, and a mark
// on each gap that breaks what this program keeps on the wire, counted at the top.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <cstddef>
#include <vector>

#include "link/trace_gaps.h"
#include "link/trace_reader.h"

class QLabel;
class QTableView;

namespace kline::ui {

class TraceTableModel : public QAbstractTableModel {
 public:
  enum Column { kTime, kGap, kDirection, kByte, kRate, kMeaning, kMark, kColumnCount };

  TraceTableModel(TraceFile trace, QObject* parent = nullptr);

  const TraceGaps& gaps() const { return gaps_; }
  // The row of the next marked byte after `row`, from the top again past the end; -1: none.
  int NextMarked(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Row {
    bool note;
    size_t index;  // into the trace's rows or notes
  };

  TraceFile trace_;
  TraceGaps gaps_;
  std::vector<Row> rows_;  // bytes and notes in the file's order
};

class TraceWindow : public QWidget {
 public:
  TraceWindow(TraceFile trace, const QString& path, QWidget* parent = nullptr);

  QTableView* table() const { return table_; }
  QLabel* counts() const { return counts_; }
  TraceTableModel* model() const { return model_; }

 private:
  TraceTableModel* model_;
  QTableView* table_;
  QLabel* counts_;
};

}  // namespace kline::ui
