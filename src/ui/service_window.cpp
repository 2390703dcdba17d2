#include "ui/service_window.h"

#include <QAction>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStatusBar>

namespace kline::ui {

ServiceWindow::ServiceWindow(DiagnosticEngine& engine, ServiceWindowId id, const QString& name,
                             const QString& caption)
    : engine_(engine),
      log_box_(new QPlainTextEdit),
      back_(menuBar()->addAction(QStringLiteral("Back"))) {
  setObjectName(name);
  setWindowTitle(caption);
  setAttribute(Qt::WA_DeleteOnClose);
  log_box_->setObjectName(QStringLiteral("Rtb1"));
  log_box_->setReadOnly(true);
  back_->setObjectName(QStringLiteral("back"));
  // Escape leaves a service window the way "Back" does, giving the port back.
  connect(new QShortcut(Qt::Key_Escape, this), &QShortcut::activated, back_, &QAction::trigger);
  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  EngineEvents* events = &engine.events();
  connect(events, &EngineEvents::ServiceLine, this,
          [this, id](ServiceWindowId to, const QString& text) {
            if (to == id) AppendLine(text);
          });
  connect(events, &EngineEvents::Refused, this, [this, id](ServiceWindowId to, const QString& why) {
    if (to == id) statusBar()->showMessage(why);
  });
}

// Appended where the text ends; what is already there is never rewritten.
void ServiceWindow::AppendLine(const QString& text) {
  QTextCursor cursor(log_box_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(text + QLatin1Char('\n'));
  log_box_->moveCursor(QTextCursor::End);
  log_box_->ensureCursorVisible();
}

}  // namespace kline::ui
