#include "ui/fault_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace kline::ui {

namespace {

// Three record places of three bytes side by side; the status byte on a row of its own.
constexpr int kButtonColumns = 3;

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

FaultWindow::FaultWindow(DiagnosticEngine& engine)
    : ServiceWindow(engine, QStringLiteral("Form3"), QStringLiteral("Diag")) {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  auto* grid = new QGridLayout;
  int cell = 0;
  for (size_t i = 0; i < kFaultButtons.size(); ++i) {
    const FaultButton& button_row = kFaultButtons[i];
    auto* button = new QPushButton(Q(button_row.caption));
    button->setObjectName(Q(button_row.control));
    const int index = static_cast<int>(i);
    connect(button, &QPushButton::clicked, this,
            [this, index] { Command([index](DiagnosticEngine& e) { e.ReadFault(index); }); });
    buttons_[i] = button;
    if (button_row.table == FaultTable::kStatusByte) {
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

  connect(back_, &QAction::triggered, this,
          [this] { Command([](DiagnosticEngine& e) { e.LeaveFaultWindow(); }); });
}

void FaultWindow::SetPortOwner(PortOwner owner) {
  const bool usable = owner != PortOwner::kTestWindow;
  for (QPushButton* button : buttons_) button->setEnabled(usable);
  if (usable) {
    statusBar()->clearMessage();
  } else {
    statusBar()->showMessage(QStringLiteral("The test window holds the port."));
  }
}

// The close box gives the port back as "Back" does, if this window still holds it.
void FaultWindow::closeEvent(QCloseEvent* event) {
  Command([](DiagnosticEngine& e) { e.LeaveFaultWindow(); });
  event->accept();
}

}  // namespace kline::ui
