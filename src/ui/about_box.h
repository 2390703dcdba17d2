// What the program is, its licence, and where to report a problem: the "About" box and the
// button beside the rev counter that opens it. The project has no donation page.
#pragma once

class QToolButton;
class QWidget;

namespace kline::ui {

void ShowAbout(QWidget* parent);
QToolButton* NewAboutButton(QWidget* parent);

}  // namespace kline::ui
