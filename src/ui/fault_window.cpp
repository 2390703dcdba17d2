#include "ui/fault_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "engine/text.h"
#include "record/fault_report.h"
#include "ui/main_window.h"
#include "ui/mnemonics.h"
#include "ui/screen_fit.h"

namespace kline::ui {

namespace {

// Three record places of three bytes side by side; the status byte on a row of its own.
constexpr int kButtonColumns = 3;
// "Read all" brings a byte every few milliseconds, and each repaint of the view costs about as
// much: the bytes that come within this time of a repaint join the view together.
constexpr int kDisplayMs = 100;
// Before the text of a byte shown from an earlier reading.
constexpr char kEarlierText[] = "earlier reading: ";

}  // namespace

FaultWindow::FaultWindow(DiagnosticEngine& engine, const MainWindow& main)
    : ServiceWindow(engine, ServiceWindowId::kFault, QStringLiteral("Form3"),
                    QStringLiteral("Diag")),
      main_(main),
      read_all_(new QPushButton(QStringLiteral("Read all"))),
      view_(new QTreeWidget) {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  auto* grid = new QGridLayout;
  int cell = 0;
  for (size_t i = 0; i < kFaultButtons.size(); ++i) {
    const FaultButton& button_row = kFaultButtons[i];
    auto* button = new QPushButton(Q(button_row.caption));
    button->setObjectName(Q(button_row.control));
    const int index = static_cast<int>(i);
    connect(button, &QPushButton::clicked, this, [this, index] {
      BeginRead(false);
      engine_.ReadFaults({index});
    });
    buttons_[i] = button;
    if (button_row.table == FaultTable::kStatusByte) {
      grid->addWidget(button, 3, 0, 1, kButtonColumns);
    } else {
      grid->addWidget(button, cell % kButtonColumns, cell / kButtonColumns);
      ++cell;
    }
  }
  // The ten reads in button order, the same exchanges one after another.
  read_all_->setObjectName(QStringLiteral("ReadAll"));
  connect(read_all_, &QPushButton::clicked, this, [this] {
    BeginRead(true);
    engine_.ReadFaults(AllFaultBytes());
  });
  auto* save = new QPushButton(QStringLiteral("Save report..."));
  save->setObjectName(QStringLiteral("SaveReport"));
  connect(save, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save fault report"),
                                                      QStringLiteral("fault-report.txt"),
                                                      QStringLiteral("Text files (*.txt)"));
    if (path.isEmpty()) return;
    const QString error = SaveReport(path);
    statusBar()->showMessage(error.isEmpty() ? QStringLiteral("Report saved to ") + path : error);
  });
  grid->addWidget(read_all_, 4, 0, 1, 2);
  grid->addWidget(save, 4, 2);
  column->addLayout(grid);
  column->addWidget(log_box_, 1);
  // The log keeps its texts as they always were; the view beside it shows each byte's value and
  // every bit, so that two values that share their texts never look alike.
  auto* places = new QLabel(Q(kFaultPlacesLine));
  places->setWordWrap(true);
  column->addWidget(places);
  view_->setObjectName(QStringLiteral("FaultView"));
  view_->setHeaderLabels({QStringLiteral("Byte"), QStringLiteral("Value"), QStringLiteral("Text")});
  // Every row is one line of the same font: the view need not lay out each row's text to know
  // where the rows are.
  view_->setUniformRowHeights(true);
  column->addWidget(view_, 2);
  setCentralWidget(central);
  ResizeWithinScreen(*this, QSize(520, 720));

  display_.setSingleShot(true);
  display_.setInterval(kDisplayMs);
  connect(&display_, &QTimer::timeout, this, &FaultWindow::ShowPending);

  // Back to the main window: this one goes out of its way, and "Diag" brings it back with its
  // log, rather than staying hidden behind the main window.
  connect(back_, &QAction::triggered, this, [this] {
    engine_.LeaveFaultReading();
    hide();
  });
  AddMnemonics(*this);
  EngineEvents* events = &engine.events();
  connect(events, &EngineEvents::PortOwnerChanged, this, &FaultWindow::SetPortOwner);
  connect(events, &EngineEvents::FaultRead, this, &FaultWindow::NoteRead);
  connect(events, &EngineEvents::ConnectionChanged, this, [this](ConnectionState state) {
    if (state == ConnectionState::kClosed || state == ConnectionState::kLost) hide();
  });
}

void FaultWindow::SetPortOwner(PortOwner owner) {
  const bool usable = owner != PortOwner::kTestWindow;
  for (QPushButton* button : buttons_) button->setEnabled(usable);
  read_all_->setEnabled(usable);
  if (usable) {
    statusBar()->clearMessage();
  } else {
    statusBar()->showMessage(QStringLiteral("The test window holds the port."));
  }
}

void FaultWindow::NoteRead(int index, const QString& answer) {
  std::erase_if(reads_, [index](const auto& read) { return read.first == index; });
  reads_.emplace_back(index, answer.toStdString());
  // A lone read is shown at once; the next ones wait for the display's pace.
  if (display_.isActive()) {
    std::erase(pending_, index);
    pending_.push_back(index);
  } else {
    ShowRead(index);
    display_.start();
  }
}

void FaultWindow::ShowPending() {
  for (int index : std::exchange(pending_, {})) ShowRead(index);
}

// A new reading begins: the saved report's message belongs to the earlier one, and on a read of
// all ten every byte shown so far is from the earlier reading until its new answer comes.
void FaultWindow::BeginRead(bool all) {
  statusBar()->clearMessage();
  if (!all) return;
  for (int row = 0; row < view_->topLevelItemCount(); ++row) MarkEarlier(*view_->topLevelItem(row));
}

void FaultWindow::MarkEarlier(QTreeWidgetItem& byte) {
  if (byte.data(1, Qt::UserRole).toBool()) return;
  byte.setData(1, Qt::UserRole, true);
  byte.setText(2, QString::fromLatin1(kEarlierText) + byte.text(2));
  const QBrush grey = palette().brush(QPalette::Disabled, QPalette::Text);
  std::vector<QTreeWidgetItem*> rows{&byte};
  for (int i = 0; i < byte.childCount(); ++i) rows.push_back(byte.child(i));
  for (QTreeWidgetItem* row : rows) {
    for (int column = 0; column < view_->columnCount(); ++column) row->setForeground(column, grey);
  }
}

void FaultWindow::ShowRead(int index) {
  const auto read = std::ranges::find(reads_, index, &std::pair<int, std::string>::first);
  const std::string& answer = read->second;
  // A byte read again moves to the end, as in the report; the others are left as they are, so
  // that a read of all ten builds each byte's rows once. A re-read that got no answer keeps the
  // earlier reading under it, marked as earlier, rather than hide what the ECU said before.
  QTreeWidgetItem* earlier = nullptr;
  for (int row = 0; row < view_->topLevelItemCount(); ++row) {
    if (view_->topLevelItem(row)->data(0, Qt::UserRole).toInt() != index) continue;
    QTreeWidgetItem* old = view_->takeTopLevelItem(row);
    if (answer.empty() && old->childCount() > 0) {
      MarkEarlier(*old);
      earlier = old;
    } else {
      delete old;
    }
    break;
  }
  const FaultButton& button = kFaultButtons[static_cast<size_t>(index)];
  const FaultByteView view = ViewFaultByte(button.table, answer);
  // Built whole before it joins the view, which then takes its rows in one change.
  auto* byte = new QTreeWidgetItem;
  byte->setData(0, Qt::UserRole, index);
  byte->setText(
      0, QStringLiteral("%1 (0x%2)")
             .arg(Q(button.caption),
                  QStringLiteral("%1").arg(button.request, 2, 16, QLatin1Char('0')).toUpper()));
  if (!view.value) {
    byte->setText(1, Q(kNoAnswerLine));
  } else {
    byte->setText(1, Q(FaultValueText(*view.value)));
    if (view.set_bit_names_fault) {
      const int faults = view.FaultCount();
      byte->setText(2, faults == 0   ? QStringLiteral("no fault recorded")
                       : faults == 1 ? QStringLiteral("1 fault")
                                     : QStringLiteral("%1 faults").arg(faults));
    }
    for (const FaultBit& bit : view.bits) {
      auto* row = new QTreeWidgetItem(byte);
      row->setText(0, QStringLiteral("bit %1").arg(bit.bit));
      row->setText(1, bit.set ? QStringLiteral("set") : QString());
      row->setText(2, Q(bit.text));
      QFont font = row->font(0);
      font.setBold(bit.set);
      for (int column = 0; column < 3; ++column) row->setFont(column, font);
    }
  }
  view_->addTopLevelItem(byte);
  byte->setExpanded(true);
  WidenColumns(*byte);
  if (earlier) {
    byte->setText(2, QStringLiteral("the re-read failed; the earlier reading follows"));
    view_->addTopLevelItem(earlier);
    earlier->setExpanded(true);
    WidenColumns(*earlier);
  }
}

// Sized to their contents by hand: the view would measure every row's text again at each read.
// Each byte's rows are measured once, and a column only ever widens.
void FaultWindow::WidenColumns(const QTreeWidgetItem& byte) {
  const int margin =
      2 * (view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view_) + 1);
  std::vector<const QTreeWidgetItem*> rows{&byte};
  for (int i = 0; i < byte.childCount(); ++i) rows.push_back(byte.child(i));
  for (int column = 0; column < view_->columnCount(); ++column) {
    int width = view_->header()->sectionSize(column);
    for (const QTreeWidgetItem* row : rows) {
      const int depth = row == &byte ? 1 : 2;
      const int text = QFontMetrics(row->font(column)).horizontalAdvance(row->text(column));
      width = std::max(width, text + margin + (column == 0 ? depth * view_->indentation() : 0));
    }
    view_->header()->resizeSection(column, width);
  }
}

QString FaultWindow::SaveReport(const QString& path) const {
  const std::optional<EcuType> type = main_.SelectedType();
  FaultReport report(QDateTime::currentDateTime(),
                     type ? std::string(EcuTypeName(*type)) : std::string());
  for (const QString& line : main_.InfoText().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    report.AddIdentification(line.toStdString());
  }
  for (const auto& [index, answer] : reads_) {
    report.AddRead(kFaultButtons[static_cast<size_t>(index)], answer);
  }
  return report.SaveTo(path);
}

// The close box gives the port back as "Back" does, if this window still holds it.
void FaultWindow::closeEvent(QCloseEvent* event) {
  engine_.LeaveFaultReading();
  event->accept();
}

}  // namespace kline::ui
