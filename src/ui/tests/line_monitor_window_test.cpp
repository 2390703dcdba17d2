#include "ui/line_monitor_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>

namespace kline::ui {
namespace {

std::vector<LineEntry> Exchange(int64_t at_us, uint8_t request, uint8_t answer) {
  return {{at_us, 7812, request, LineDir::kSent, "01 engine speed, first byte"},
          {at_us + 1300, 7812, request, LineDir::kEcho, "01 engine speed, first byte"},
          {at_us + 4600, 7812, answer, LineDir::kFromEcu, "01 engine speed, first byte"}};
}

TEST(LineMonitorWindowTest, BatchesPauseFilterClearAndSave) {
  LineMonitorWindow window(nullptr, 5);
  auto& model = *window.table()->model();
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

  window.AddEntries(Exchange(12345, 0x01, 0x2E));
  ASSERT_EQ(window.VisibleRows(), 3);
  EXPECT_EQ(model.index(0, LineTableModel::kTime).data().toString(), "12.3");
  EXPECT_EQ(model.index(2, LineTableModel::kDirection).data().toString(), "from ECU");
  EXPECT_EQ(model.index(2, LineTableModel::kByte).data().toString(), "2E");
  EXPECT_EQ(model.index(2, LineTableModel::kRate).data().toInt(), 7812);

  window.pause_box()->setChecked(true);
  window.AddEntries(Exchange(20000, 0x02, 0xE0));
  EXPECT_EQ(window.VisibleRows(), 3) << "held while paused";
  window.pause_box()->setChecked(false);
  EXPECT_EQ(window.VisibleRows(), 5) << "the oldest made room";
  EXPECT_EQ(model.index(0, LineTableModel::kDirection).data().toString(), "echo");
  EXPECT_EQ(resets.count(), 0) << "appending never resets the table";

  window.direction_box(LineDir::kEcho)->setChecked(false);
  EXPECT_EQ(window.VisibleRows(), 3);
  window.AddEntries(Exchange(30000, 0x03, 0x11));
  window.ShowHeld();
  ASSERT_EQ(window.VisibleRows(), 3) << "full: the oldest made room, the echoes still hidden";
  EXPECT_EQ(model.index(0, LineTableModel::kByte).data().toString(), "E0");
  EXPECT_EQ(model.index(1, LineTableModel::kDirection).data().toString(), "sent");

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("line.csv"));
  ASSERT_TRUE(window.SaveTo(path, nullptr));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  // The header, the connection's note, and every byte since it opened (the opening is kept
  // whatever the table's size), the hidden echoes too.
  EXPECT_EQ(file.readAll().count('\n'), 11);
  file.close();

  window.clear_button()->click();
  EXPECT_EQ(window.VisibleRows(), 0);
  ASSERT_TRUE(window.SaveTo(path, nullptr));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().count('\n'), 1) << "a cleared monitor saves nothing it showed";
}

}  // namespace
}  // namespace kline::ui
