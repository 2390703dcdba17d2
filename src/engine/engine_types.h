// What crosses between the windows and the engine's thread: who holds the port, which
// service window a report is for, and the choices a connect carries.
#pragma once

#include <QMetaType>
#include <QString>
#include <array>
#include <optional>

#include "link/ecu_type.h"
#include "session/live_sample.h"
#include "session/main_panel.h"

namespace kline {

// Whose commands reach the wire: the session's ticks, or one service window's.
enum class PortOwner { kSession, kTestWindow, kFaultWindow };

enum class ServiceWindowId { kTest, kFault };

// The main window's choices as the user left them, sent with "Connect".
struct PanelChoices {
  QString port_field;
  std::optional<EcuType> type;
  std::array<bool, kChannelCount> channels{};
  bool ecu_data = true;
  bool calibration = true;
};

}  // namespace kline

Q_DECLARE_METATYPE(kline::PortOwner)
Q_DECLARE_METATYPE(kline::ServiceWindowId)
Q_DECLARE_METATYPE(kline::LiveSample)
Q_DECLARE_METATYPE(kline::EcuIdentification)
Q_DECLARE_METATYPE(kline::EcuType)
Q_DECLARE_METATYPE(kline::PanelChoices)
