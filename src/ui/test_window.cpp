#include "ui/test_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "engine/text.h"
#include "ui/mnemonics.h"
#include "ui/screen_fit.h"

namespace kline::ui {

namespace {

constexpr int kButtonColumns = 2;
// A bar with no range shows a busy animation; until a test sets one, it has this.
constexpr int kRestingMaximum = 100;

}  // namespace

TestWindow::TestWindow(DiagnosticEngine& engine)
    : ServiceWindow(engine, ServiceWindowId::kTest, QStringLiteral("Form1"),
                    QStringLiteral("Test")),
      custom_code_field_(new QLineEdit(Q(kCustomCodeDefault))),
      progress_bar_(new QProgressBar) {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  auto* grid = new QGridLayout;
  for (size_t i = 0; i < kActuatorTests.size(); ++i) {
    const ActuatorTestRow& row = kActuatorTests[i];
    auto* button = new QPushButton(Q(row.caption));
    button->setObjectName(Q(row.control));
    const int index = static_cast<int>(i);
    connect(button, &QPushButton::clicked, this, [this, index] {
      if (index == kClearFaultsTest) return AskBeforeClearing();
      engine_.RunTest(index, custom_code_field_->text());
    });
    buttons_[i] = button;
    grid->addWidget(button, index / kButtonColumns, index % kButtonColumns);
  }
  custom_code_field_->setObjectName(QStringLiteral("Text1"));
  custom_code_field_->setMaxLength(8);
  custom_code_field_->setToolTip(QStringLiteral("Test code in hexadecimal, 00 to FF"));
  grid->addWidget(custom_code_field_, static_cast<int>(kActuatorTests.size()) / kButtonColumns, 1);
  for (int c = 0; c < kButtonColumns; ++c) grid->setColumnStretch(c, 1);
  column->addLayout(grid);
  column->addWidget(log_box_, 1);
  progress_bar_->setObjectName(QStringLiteral("Pg1"));
  progress_bar_->setRange(0, kRestingMaximum);
  progress_bar_->setValue(0);
  column->addWidget(progress_bar_);
  setCentralWidget(central);
  ResizeWithinScreen(*this, QSize(420, 420));

  connect(back_, &QAction::triggered, this, [this] { engine_.LeaveDiagnosticMode(); });
  AddMnemonics(*this);
  EngineEvents* events = &engine.events();
  connect(events, &EngineEvents::TestProgress, this, [this](float value, float maximum) {
    progress_bar_->setMaximum(static_cast<int>(std::lround(maximum)));
    progress_bar_->setValue(static_cast<int>(std::lround(value)));
  });
  // The buttons are off while a test holds the port: a second test cannot start.
  connect(events, &EngineEvents::TestRunning, this, [this](bool running) {
    for (QPushButton* button : buttons_) button->setEnabled(!running);
  });
  connect(events, &EngineEvents::PortOwnerChanged, this, [this](PortOwner owner) {
    if (owner != PortOwner::kTestWindow) CloseNow();
  });
}

// One click must not erase the fault memory: the user confirms, told how to keep a copy.
void TestWindow::AskBeforeClearing() {
  auto* ask = new QMessageBox(QMessageBox::Warning, QStringLiteral("Clear DTC errors"),
                              QStringLiteral("Clear the fault codes stored in the ECU?"),
                              QMessageBox::Cancel, this);
  ask->setObjectName(QStringLiteral("ConfirmClear"));
  ask->setInformativeText(Q(kClearFaultsWarning));
  QPushButton* clear = ask->addButton(QStringLiteral("Clear"), QMessageBox::DestructiveRole);
  clear->setObjectName(QStringLiteral("Clear"));
  ask->setDefaultButton(QMessageBox::Cancel);
  ask->setAttribute(Qt::WA_DeleteOnClose);
  connect(clear, &QPushButton::clicked, this,
          [this] { engine_.RunTest(kClearFaultsTest, custom_code_field_->text()); });
  ask->open();
}

// Queued: the engine may say so from inside this window's own close event.
void TestWindow::CloseNow() {
  may_close_ = true;
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TestWindow::closeEvent(QCloseEvent* event) {
  if (!may_close_) engine_.LeaveDiagnosticMode();
  event->setAccepted(may_close_);
}

}  // namespace kline::ui
