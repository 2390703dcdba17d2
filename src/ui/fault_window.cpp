#include "ui/fault_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/main_window.h"

namespace kline::ui {

namespace {

// Three record places of three bytes side by side; the status byte on a row of its own.
constexpr int kButtonColumns = 3;

}  // namespace

FaultWindow::FaultWindow(MainWindow& main)
    : ServiceWindow(main, QStringLiteral("Form3"), QStringLiteral("Diag")),
      faults_(main.port(), *this, *this) {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  auto* grid = new QGridLayout;
  int cell = 0;
  for (size_t i = 0; i < kFaultButtons.size(); ++i) {
    const FaultButton& button_row = kFaultButtons[i];
    auto* button = new QPushButton(QString::fromUtf8(
        button_row.caption.data(), static_cast<qsizetype>(button_row.caption.size())));
    button->setObjectName(QString::fromUtf8(button_row.control.data(),
                                            static_cast<qsizetype>(button_row.control.size())));
    connect(button, &QPushButton::clicked, this, [this, i] { faults_.Press(kFaultButtons[i]); });
    buttons_[i] = button;
    const bool status = button_row.table == FaultTable::kStatusByte;
    if (status) {
      grid->addWidget(button, 3, 0, 1, kButtonColumns);
    } else {
      grid->addWidget(button, cell % kButtonColumns, cell / kButtonColumns);
      ++cell;
    }
  }
  column->addLayout(grid);
  column->addWidget(rtb1_, 1);
  setCentralWidget(central);
  resize(460, 420);

  connect(back_, &QAction::triggered, this, [this] { faults_.Back(); });
}

void FaultWindow::Unload() {
  hide();
  deleteLater();
}

void FaultWindow::closeEvent(QCloseEvent* event) {
  faults_.OnCloseBox();
  event->accept();
}

}  // namespace kline::ui
