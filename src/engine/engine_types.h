// What crosses between the windows and the engine's thread: who holds the port, which
// service window a report is for, the connection's state, and the choices a connect carries.
#pragma once

#include <QMetaType>
#include <QString>
#include <array>
#include <optional>

#include "link/ecu_type.h"
#include "service/connection_diagnosis.h"
#include "service/service_host.h"
#include "session/live_sample.h"
#include "session/main_panel.h"

namespace kline {

// Whose commands reach the wire: the session's ticks, or one service window's.
enum class PortOwner { kSession, kTestWindow, kFaultWindow };

enum class ServiceWindowId { kTest, kFault };

enum class ConnectionState {
  kIdle,       // not connected since the program started
  kRefused,    // the port field names no port: nothing was opened
  kNotOpened,  // the port named could not be opened; "Connect" again runs the disconnect
  kOpen,       // the port is open; the ECU has not been woken (or identified) yet
  kWoken,      // the ECU is woken: the service routines may take the port
  kClosed,     // disconnected
  kLost,       // the port went away under the session (a pulled cable)
};

// Connected in the sense of the window: the port is open, woken or not.
constexpr bool IsConnected(ConnectionState state) {
  return state == ConnectionState::kOpen || state == ConnectionState::kWoken;
}

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
Q_DECLARE_METATYPE(kline::ConnectionState)
Q_DECLARE_METATYPE(kline::ConnectionFinding)
Q_DECLARE_METATYPE(kline::ServiceVerdict)
