// "Check cable" and "Find interface" from the port list: the cable check on one port, or on
// each listed port in turn until one echoes correctly. Run by the engine while not connected.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "link/kline_port.h"

namespace kline {

class InterfaceFinder : public QObject {
  Q_OBJECT

 public:
  explicit InterfaceFinder(QObject* parent) : QObject(parent) {}

  void CheckCable(KLinePort& port, const QString& field);
  void FindInterface(KLinePort& port, const QStringList& fields);

 signals:
  void CableChecked(const QString& field, bool echo_ok, const QString& sentence);
  // `field` is empty when no port echoed correctly; `summary` says which ones were tried.
  void InterfaceFound(const QString& field, const QString& summary);
  void PortMessage(const QString& text);
};

}  // namespace kline
