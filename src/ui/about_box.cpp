#include "ui/about_box.h"

#include <QMessageBox>
#include <QStyle>
#include <QToolButton>

namespace kline::ui {

void ShowAbout(QWidget* parent) {
  auto* about = new QMessageBox(QMessageBox::Information, QStringLiteral("About kline-diag"),
                                QStringLiteral("kline-diag %1").arg(QStringLiteral(KLINE_VERSION)),
                                QMessageBox::Close, parent);
  about->setObjectName(QStringLiteral("About"));
  about->setAttribute(Qt::WA_DeleteOnClose);
  about->setInformativeText(
      QStringLiteral(
          "Diagnostics for 15m, 15Rc, 16m and P8 engine control units over a K-line cable.\n\n"
          "kline-diag is free software under the GNU General Public License, version 3 or "
          "later: anyone may use, share and change it under its terms. It comes with no "
          "warranty.\n\n"
          "To report a problem, go to %1, say what you did and what you saw, and attach a "
          "support report (Help, Save support report...).")
          .arg(QStringLiteral(KLINE_ISSUES_URL)));
  about->open();
}

QToolButton* NewAboutButton(QWidget* parent) {
  auto* button = new QToolButton;
  button->setObjectName(QStringLiteral("Command8"));
  button->setIcon(parent->style()->standardIcon(QStyle::SP_MessageBoxInformation));
  button->setIconSize(QSize(40, 40));
  button->setAutoRaise(true);
  button->setToolTip(QStringLiteral("About kline-diag"));
  QObject::connect(button, &QToolButton::clicked, parent, [parent] { ShowAbout(parent); });
  return button;
}

}  // namespace kline::ui
