#include "ui/service_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>

#include "ui/main_window.h"

namespace kline::ui {

ServiceWindow::ServiceWindow(MainWindow& main, const QString& name, const QString& caption)
    : main_(main), rtb1_(new QPlainTextEdit), back_(menuBar()->addAction(QStringLiteral("Back"))) {
  setObjectName(name);
  setWindowTitle(caption);
  setAttribute(Qt::WA_DeleteOnClose);
  rtb1_->setObjectName(QStringLiteral("Rtb1"));
  rtb1_->setReadOnly(true);
  back_->setObjectName(QStringLiteral("back"));
}

std::optional<EcuType> ServiceWindow::SelectedType() const { return main_.SelectedType(); }

void ServiceWindow::TimerOn(int interval) {
  if (interval > 0) {
    main_.ReturnPort(interval);
  } else {
    main_.LendPort();
  }
}

void ServiceWindow::ShowMainWindow() { main_.ShowAgain(); }

bool ServiceWindow::MainWindowHidden() const { return main_.isHidden(); }

void ServiceWindow::ProcessPendingEvents() { QCoreApplication::processEvents(); }

void ServiceWindow::Refresh() { repaint(); }

// The caller is still inside this window's code: the close comes from the event loop.
void ServiceWindow::CloseWindow() {
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void ServiceWindow::ShowStatusMessage(std::string_view text) {
  main_.ShowStatusMessage(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

// Appended where the text ends; what is already there is never rewritten.
void ServiceWindow::AppendLine(std::string_view text) {
  QTextCursor cursor(rtb1_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())) +
                    QLatin1Char('\n'));
}

void ServiceWindow::MoveCaretToEnd() {
  rtb1_->moveCursor(QTextCursor::End);
  rtb1_->ensureCursorVisible();
}

}  // namespace kline::ui
