// The "Com Port" frame: the connect box, the lamp, the port field and the list of ports with
// the cable checks. It shows the connection's state (the box, its caption, the lamp) and
// sends "Connect" with the choices the window gathers.
#pragma once

#include <QGroupBox>
#include <functional>

#include "engine/diagnostic_engine.h"

class QCheckBox;
class QLineEdit;
class QToolButton;

namespace kline::ui {

class IndicatorShape;

class PortFrame : public QGroupBox {
 public:
  // `choices`: the window's choices as they stand, sent with "Connect".
  PortFrame(DiagnosticEngine& engine, std::function<PanelChoices()> choices);

  QCheckBox* connect_box() const { return connect_box_; }
  QLineEdit* port_field() const { return port_field_; }
  QToolButton* port_list() const { return port_list_; }
  IndicatorShape* indicator() const { return indicator_; }

 private:
  QToolButton* BuildPortList();
  void ShowConnection(ConnectionState state);

  DiagnosticEngine& engine_;
  QCheckBox* connect_box_;
  QLineEdit* port_field_;
  IndicatorShape* indicator_;
  QToolButton* port_list_;
};

}  // namespace kline::ui
