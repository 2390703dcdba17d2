#include "ui/port_frame.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

#include "link/port_list.h"
#include "link/port_name.h"
#include "ui/mnemonics.h"
#include "ui/pictures.h"

namespace kline::ui {

PortFrame::PortFrame(DiagnosticEngine& engine, std::function<PanelChoices()> choices)
    : QGroupBox(QStringLiteral("Com Port")),
      engine_(engine),
      connect_box_(new QCheckBox(QStringLiteral("Connect"))),
      port_field_(new QLineEdit(QStringLiteral("1"))),
      indicator_(new IndicatorShape),
      port_list_(BuildPortList()) {
  connect_box_->setObjectName(QStringLiteral("Check2(0)"));
  connect(connect_box_, &QCheckBox::clicked, this, [this, choices](bool ticked) {
    if (ticked) {
      engine_.Connect(choices());
    } else {
      engine_.Disconnect();
    }
  });
  indicator_->setObjectName(QStringLiteral("Shape1"));
  indicator_->setToolTip(
      QStringLiteral("Green: the port is open; faded while the ECU does not answer. Red: "
                     "disconnected, or the cable was pulled. Grey: not connected yet."));
  auto* label1 = new QLabel(QStringLiteral("Com"));
  label1->setObjectName(QStringLiteral("Label1"));
  port_field_->setObjectName(QStringLiteral("Text6"));
  port_field_->setToolTip(
      QStringLiteral("Port number, or %1").arg(QString::fromStdString(OtherPortNames())));
  port_field_->setMinimumWidth(110);
  connect(port_field_, &QLineEdit::textChanged, this,
          [this](const QString& text) { engine_.SetPortField(text); });
  label1->setBuddy(port_field_);

  auto* grid = new QGridLayout(this);
  grid->addWidget(connect_box_, 0, 0, 1, 2);
  grid->addWidget(indicator_, 0, 2, Qt::AlignRight);
  grid->addWidget(label1, 1, 0);
  grid->addWidget(port_field_, 1, 1);
  grid->addWidget(port_list_, 1, 2);

  EngineEvents* events = &engine.events();
  connect(events, &EngineEvents::ConnectionChanged, this, &PortFrame::ShowConnection);
  connect(events, &EngineEvents::InterfaceFound, this, [this](const QString& field) {
    if (!field.isEmpty()) port_field_->setText(field);
  });
}

// A port that did not open leaves the box ticked: a second click runs the disconnect.
void PortFrame::ShowConnection(ConnectionState state) {
  const bool connected = IsConnected(state);
  if (state != ConnectionState::kNotOpened) connect_box_->setChecked(connected);
  if (connected || state == ConnectionState::kClosed || state == ConnectionState::kLost) {
    connect_box_->setText(KeepMnemonic(connect_box_->text(), connected
                                                                 ? QStringLiteral("Disconnect")
                                                                 : QStringLiteral("Connect")));
    indicator_->SetFillColour(connected ? kIndicatorGreen : kIndicatorRed);
  }
}

// The ports the system has, listed afresh each time the list opens, and the two checks of
// the cable that need the port to themselves.
QToolButton* PortFrame::BuildPortList() {
  auto* button = new QToolButton;
  button->setObjectName(QStringLiteral("PortList"));
  button->setToolTip(QStringLiteral("Serial ports of this computer, and cable checks"));
  button->setPopupMode(QToolButton::InstantPopup);
  button->setArrowType(Qt::DownArrow);
  button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
  auto* menu = new QMenu(button);
  connect(menu, &QMenu::aboutToShow, this, [this, menu] {
    menu->clear();
    const std::vector<PortChoice> ports = ListPorts();
    for (const PortChoice& port : ports) {
      const QString field = QString::fromStdString(port.field);
      menu->addAction(QString::fromStdString(port.label), this,
                      [this, field] { port_field_->setText(field); });
    }
    if (ports.empty())
      menu->addAction(QStringLiteral("(no serial ports found)"))->setEnabled(false);
    menu->addSeparator();
    const bool free = !connect_box_->isChecked();
    QAction* check = menu->addAction(QStringLiteral("Check cable"), this,
                                     [this] { engine_.CheckCable(port_field_->text()); });
    check->setEnabled(free);
    QAction* find = menu->addAction(QStringLiteral("Find interface"), this, [this, ports] {
      QStringList fields;
      for (const PortChoice& port : ports) fields << QString::fromStdString(port.field);
      engine_.FindInterface(fields);
    });
    find->setEnabled(free);
    AddMnemonics(*menu);
  });
  button->setMenu(menu);
  return button;
}

}  // namespace kline::ui
